#include <gtest/gtest.h>

#include "messages.h"
#include "response/dedup.h"
#include "test_support.h"

static std::string channel_match(const std::string& token)
{
    return probe_match(scope_root + "Profile/Streaming " + token);
}

TEST(dedup, address_path_handles_each_address_once)
{
    reset_process_state();
    uint32_t a = fake::addr("192.168.1.10");
    EXPECT_FALSE(is_known_responder(a, probe_match(scope_root + "hardware/X").c_str()));
    EXPECT_TRUE(is_known_responder(a, probe_match(scope_root + "hardware/Y").c_str()));
    EXPECT_TRUE(is_known_responder(a, ""));
    EXPECT_FALSE(is_known_responder(fake::addr("192.168.1.11"), ""));
    EXPECT_EQ(seen_responder_addrs, (std::vector<uint64_t>{a, fake::addr("192.168.1.11")}));
}

TEST(dedup, channel_path_handles_each_channel_of_an_address_once)
{
    reset_process_state();
    uint32_t a = fake::addr("192.168.1.10");
    EXPECT_FALSE(is_known_responder(a, channel_match("vorn/Lumidock(ch2)").c_str()));
    EXPECT_FALSE(is_known_responder(a, channel_match("VORN/Lumidock(ch3)").c_str()));
    EXPECT_TRUE(is_known_responder(a, channel_match("Vorn-lumidock(CH2)").c_str()));
    EXPECT_TRUE(seen_responder_addrs.empty());
    if (a == 167880896u) {  // the key prints the address as a host integer
        EXPECT_EQ(seen_channel_keys[0], "167880896_2");
    }
}

TEST(dedup, the_two_paths_do_not_see_each_other)
{
    reset_process_state();
    uint32_t a = fake::addr("192.168.1.10");
    EXPECT_FALSE(is_known_responder(a, probe_match(scope_root + "hardware/X").c_str()));
    EXPECT_FALSE(is_known_responder(a, channel_match("VORN-Sparrowcam(ch4)").c_str()));
    uint32_t b = fake::addr("192.168.1.20");
    EXPECT_FALSE(is_known_responder(b, channel_match("VORN-Sparrowcam(ch1)").c_str()));
    EXPECT_FALSE(is_known_responder(b, ""));
}

struct channel_case {
    const char* scopes_tail;
    const char* key_suffix;  // empty: address path
};

TEST(dedup, channel_comes_from_the_first_token_with_vendor_word_and_name)
{
    const channel_case cases[] = {
        {"Lumidock(ch1)", ""},                                // no vendor word
        {"VORN-Sparrowcamera", ""},                           // not a channel name
        {"VORN-Lumidock(ch3)Lumidock(ch1)", "_1"},            // channel order decides
        {"VORN-Sparrowcam(ch3) VORN-Lumidock(ch1)", "_7"},    // first token decides
        {"VORN Lumidock(ch2)", ""},                           // vendor and name in two tokens
        {"x-VORN-Lumidock(ch4)-y", "_4"},
    };
    for (const channel_case& c : cases) {
        reset_process_state();
        is_known_responder(fake::addr("10.0.0.9"), channel_match(c.scopes_tail).c_str());
        if (*c.key_suffix == '\0') {
            EXPECT_EQ(seen_responder_addrs.size(), 1u) << c.scopes_tail;
        } else {
            ASSERT_EQ(seen_channel_keys.size(), 1u) << c.scopes_tail;
            EXPECT_TRUE(seen_channel_keys[0].ends_with(c.key_suffix)) << c.scopes_tail;
        }
    }
}
