// Any XAddrs text yields a port from 1 to 65535.
#include <cstdlib>

#include "fuzz_support.h"
#include "response/endpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text = input_text(data, size);
    TMediaSourceDevInfo info{};
    parse_service_port(info, text.c_str());
    if (info.port < 1 || info.port > 65535)
        abort();
    return 0;
}
