// Message extraction on any text: the prefix, the element names built from
// it, the elements, and the Scopes tokens.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "response/extraction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text = input_text(data, size);
    char prefix[256] = {};
    if (get_ns_prefix(text.c_str(), prefix) == 0 && strnlen(prefix, sizeof prefix) > 127)
        abort();
    const char* locals[] = {"XAddrs", "Scopes", "ProbeMatch"};
    for (const char* local : locals) {
        char name[256];
        form_element_name(name, prefix, local);
        std::string value = "unchanged";
        if (get_tag_value(text.c_str(), name, value)) {
            if (value.size() > text.size())
                abort();
            for (const std::string& token : split_scopes(value))
                if (token.empty() || token.find(' ') != std::string::npos)
                    abort();
        } else if (value != "unchanged") {
            abort();
        }
    }
    return 0;
}
