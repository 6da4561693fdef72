// The first datagram of a responder is new and the same one again is known.
// The first four bytes are the source address.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "response/dedup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    fake::reset();
    uint32_t source;
    memcpy(&source, data, 4);
    std::string text = input_text(data + 4, size - 4);
    bool first = is_known_responder(source, text.c_str()), again = is_known_responder(source, text.c_str());
    if (first || !again || seen_responder_addrs.size() + seen_channel_keys.size() != 1)
        abort();
    return 0;
}
