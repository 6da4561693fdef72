// Any Scopes text yields an identified record whose model name is a
// terminated text within its field.
#include <cstdlib>
#include <cstring>

#include "catalogue/model_table.h"
#include "fuzz_support.h"
#include "response/identification.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool table_ready = (init_model_table(), true);
    (void)table_ready;
    fake::reset();
    std::string text = input_text(data, size);
    TMediaSourceDevInfo info{};
    identify_device(info, text.c_str());
    if (memchr(info.model, '\0', sizeof info.model) == nullptr || info.brand_id == 0 || info.model_id == 0)
        abort();
    return 0;
}
