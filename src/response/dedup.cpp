#include "response/response.h"

#include <algorithm>

std::vector<uint64_t> seen_responder_addrs;
std::vector<std::string> seen_channel_keys;

// The maker's USB-camera and virtual-camera sources answer for up to four
// channels each behind one address; each channel is a source of its own.
static const char vendor_word[] = "VORN";
static const char* const channel_names[] = {
    "Lumidock(ch1)",   "Lumidock(ch2)",   "Lumidock(ch3)",   "Lumidock(ch4)",
    "Sparrowcam(ch1)", "Sparrowcam(ch2)", "Sparrowcam(ch3)", "Sparrowcam(ch4)",
};

// The channel (1 to 8) that the message's Scopes name, or 0.
static unsigned scope_channel(const char* message)
{
    char prefix[256] = {};
    std::string scopes;
    if (get_ns_prefix(message, prefix) != 0 || !get_tag_value(message, prefix + std::string(":Scopes"), scopes))
        return 0;
    for (const std::string& token : split_scopes(scopes)) {
        if (!contains_nocase(token, vendor_word))
            continue;
        for (unsigned i = 0; i < std::size(channel_names); ++i)
            if (contains_nocase(token, channel_names[i]))
                return i + 1;
    }
    return 0;
}

template <typename T>
static bool seen_before(std::vector<T>& seen, const T& key)
{
    if (std::find(seen.begin(), seen.end(), key) != seen.end())
        return true;
    seen.push_back(key);
    return false;
}

bool is_known_responder(uint32_t source_addr, const char* message)
{
    unsigned channel = scope_channel(message);
    if (channel == 0)
        return seen_before<uint64_t>(seen_responder_addrs, source_addr);
    return seen_before(seen_channel_keys, std::to_string(source_addr) + "_" + std::to_string(channel));
}
