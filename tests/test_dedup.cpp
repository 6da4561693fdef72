#include <gtest/gtest.h>

#include "core/globals.h"
#include "fake_platform.h"
#include "messages.h"
#include "response/dedup.h"

static std::string channel_match(const std::string& token)
{
    return probe_match(scope_root + "Profile/Streaming " + token);
}

// One run's responders in order: whether each is already known, and the key
// it leaves (the address, or the address and channel).
TEST(dedup, each_address_and_each_channel_of_an_address_is_handled_once)
{
    const std::string a = std::to_string(fake::addr("10.0.0.1")), b = std::to_string(fake::addr("10.0.0.2"));
    struct {
        const char* source;
        std::string message;
        bool known;
        std::string key;  // "" when none is added
    } rows[] = {
        {"10.0.0.1", probe_match(scope_root + "hardware/X"), false, a},
        {"10.0.0.1", probe_match(scope_root + "hardware/Y"), true, ""},
        {"10.0.0.1", "", true, ""},
        {"10.0.0.1", channel_match("vorn/Lumidock(ch2)"), false, a + "_2"},
        {"10.0.0.1", channel_match("VORN/Lumidock(ch3)"), false, a + "_3"},
        {"10.0.0.1", channel_match("Vorn-lumidock(CH2)"), true, ""},
        {"10.0.0.2", channel_match("x-VORN-Sparrowcam(ch4)-y"), false, b + "_8"},
        {"10.0.0.2", "", false, b},
        {"10.0.0.2", channel_match("VORN-Lumidock(ch3)Lumidock(ch1)"), false, b + "_1"},  // table order decides
        {"10.0.0.2", channel_match("VORN-Sparrowcam(ch3) VORN-Lumidock(ch1)"), false, b + "_7"},  // first token
        {"10.0.0.2", channel_match("Lumidock(ch2)"), true, ""},                  // no vendor word: address
        {"10.0.0.2", channel_match("VORN Lumidock(ch2)"), true, ""},             // two tokens: address
        {"10.0.0.2", channel_match("VORN-Sparrowcamera"), true, ""},             // no channel name: address
        {"10.0.0.2", channel_match("vorn-sparrowcam(CH4)"), true, ""},
    };
    fake::reset();
    std::vector<std::string> keys;
    for (auto& r : rows) {
        EXPECT_EQ(is_known_responder(fake::addr(r.source), r.message.c_str()), r.known) << r.message;
        if (!r.key.empty())
            keys.push_back(r.key);
        std::vector<std::string> seen;
        for (uint64_t s : seen_responder_addrs)
            seen.push_back(std::to_string(s));
        seen.insert(seen.end(), seen_channel_keys.begin(), seen_channel_keys.end());
        std::sort(seen.begin(), seen.end());
        std::vector<std::string> want = keys;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(seen, want) << r.message;
    }
}
