#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/model_table.h"
#include "messages.h"
#include "platform/platform.h"
#include "response/receive.h"
#include "test_support.h"

static const std::string camera = "10.0.0.9";

class receive : public ::testing::Test {
protected:
    void SetUp() override
    {
        init_model_table();
        reset_process_state();
        onvif_socket = 7;
        max_fd = 7;
        fake::state.arp_tables = {"header\n" + camera + " 0x1 0x2 02:aa:00:00:00:09 * eth0\n"};
    }

    static void arrive(const std::string& bytes, const std::string& from = camera)
    {
        fake::state.incoming.push_back({fake::addr(from.c_str()), bytes});
        recv_onvif_response();
    }
};

TEST_F(receive, a_probe_match_is_stored_with_port_model_and_mac)
{
    arrive(probe_match(scope_root + "hardware/DS-2CD2187G2H-LISU " + scope_root + "Profile/Streaming",
                       "http://10.0.0.9:8080/onvif/device_service"));
    ASSERT_EQ(fake::state.stored.size(), 1u);
    const TMediaSourceDevInfo& r = fake::state.stored[0];
    EXPECT_STREQ(r.ip_addr, "10.0.0.9");
    EXPECT_STREQ(r.mac_addr, "02:aa:00:00:00:09");
    EXPECT_EQ(r.brand_id, 31);
    EXPECT_EQ(r.port, 80);  // brand 31 is always reached on port 80
    EXPECT_EQ(r.model_id, make_long_long(31, 862));
    EXPECT_STREQ(r.model, "DS-2CD2187G2H-LISU");
    std::vector<std::string> expected = {
        "[onvif camscout]",
        "[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = 02:aa:00:00:00:09",
        "[onvif camscout] Find DS-2CD2187G2H",
        "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[DS-2CD2187G2H-LISU], "
        "pInfo->mac_addr=[02:aa:00:00:00:09]"};
    EXPECT_EQ(fake::state.log, expected);
}

TEST_F(receive, hello_multicast_source_and_repeats_are_dropped_silently)
{
    arrive(hello());
    arrive(probe_match("", "", "d") + "<x:Hello>");
    arrive(probe_match(""), "239.255.255.250");
    EXPECT_TRUE(fake::state.log.empty());
    EXPECT_TRUE(seen_responder_addrs.empty());
    arrive(probe_match(""));
    arrive(probe_match(""));
    EXPECT_EQ(fake::state.stored.size(), 1u);
    EXPECT_EQ(fake::events_named("ping:").size(), 1u);
}

TEST_F(receive, a_non_probe_match_is_looked_up_then_dropped_and_blocks_its_address)
{
    arrive("<d:Resolve xmlns:d=\"" + discovery_ns + "\"></d:Resolve>");
    EXPECT_EQ(fake::events_named("ping:").size(), 1u);
    EXPECT_EQ(fake::state.log.size(), 2u);  // the prefix line and the MAC line
    arrive(probe_match(""));
    EXPECT_TRUE(fake::state.stored.empty());
}

TEST_F(receive, empty_and_oversized_datagrams_do_no_harm)
{
    arrive("");
    EXPECT_EQ(seen_responder_addrs.size(), 1u);
    EXPECT_TRUE(fake::state.stored.empty());
    std::string big = probe_match(scope_root + "hardware/" + std::string(20000, 'Q'));
    arrive(big, "10.0.0.10");
    arrive(std::string(10240, 'x'), "10.0.0.11");
    arrive(std::string(10240, '<') + "</>", "10.0.0.12");
    EXPECT_TRUE(fake::state.stored.empty());
    EXPECT_EQ(seen_responder_addrs.size(), 4u);
}

TEST_F(receive, missing_xaddrs_and_scopes_give_the_defaults)
{
    arrive(probe_match(""));
    ASSERT_EQ(fake::state.stored.size(), 1u);
    EXPECT_EQ(fake::state.stored[0].port, 80);
    EXPECT_STREQ(fake::state.stored[0].model, "ONVIF Cameras (Fixed Settings)");
    EXPECT_EQ(fake::state.log[2], "[onvif camscout] can't find Camera endpoint, use default port: 80");
    EXPECT_EQ(fake::state.log[3],
              "[onvif camscout] can't find Camera Scopes, default model: ONVIF Cameras (Fixed Settings)");
}

TEST_F(receive, an_empty_prefix_gives_names_that_start_with_a_colon)
{
    arrive(probe_match(scope_root + "Profile/T", "http://10.0.0.9:81/", ""));
    ASSERT_EQ(fake::state.stored.size(), 1u);
    EXPECT_EQ(fake::state.stored[0].port, 81);
}

TEST_F(receive, own_address_gets_the_local_interface_mac)
{
    fake::state.arp_tables.clear();
    netcom_nic_dev_name_st e{};
    std::memcpy(e.name, "eth0", 5);
    e.select_flag_1 = e.select_flag_2 = 1;
    fake::state.dev_names = {e};
    fake::state.nics["eth0"] = fake::nic("eth0", "02:00:00:00:00:01", camera, "10.0.0.255");
    arrive(probe_match(""));
    ASSERT_EQ(fake::state.stored.size(), 1u);
    EXPECT_STREQ(fake::state.stored[0].mac_addr, "02:00:00:00:00:01");
}

TEST_F(receive, failures_and_timeouts_log_only_a_failed_read)
{
    recv_onvif_response();
    EXPECT_TRUE(fake::state.log.empty());
    EXPECT_EQ(fake::state.last_select_nfds, 8);
    fake::state.recv_result = -1;
    recv_onvif_response();
    EXPECT_EQ(fake::state.log, std::vector<std::string>{
        "[onvif camscout] onvif_socket(7) Reading datagram message error -1"});
}
