#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/model_table.h"
#include "core/globals.h"
#include "fake_platform.h"
#include "messages.h"
#include "platform/platform.h"
#include "response/receive.h"

using lines = std::vector<std::string>;
static const std::string camera = "10.0.0.9";

static void set_up()
{
    init_model_table();
    fake::reset();
    onvif_socket = max_fd = 7;
    fake::state.arp_tables = {"header\n" + camera + " 0x1 0x2 02:aa:00:00:00:09 * eth0\n"
                              "10.0.0.13 0x1 0x2 02:aa:00:00:00:13 * eth0\n"};
}

static void arrive(const std::string& bytes, const std::string& from = camera)
{
    fake::state.incoming.push_back({fake::addr(from.c_str()), bytes});
    recv_onvif_response();
}

// The one place where the whole log of a stored camera is checked.
TEST(receive, a_probe_match_is_stored_with_port_model_and_mac)
{
    set_up();
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
    lines expected = {"[onvif camscout]",
                      "[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = 02:aa:00:00:00:09",
                      "[onvif camscout] Find DS-2CD2187G2H",
                      "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[DS-2CD2187G2H-LISU], "
                      "pInfo->mac_addr=[02:aa:00:00:00:09]"};
    EXPECT_EQ(fake::state.log, expected);
    EXPECT_EQ(fake::state.last_select_nfds, 8);
}

// Datagrams one after another in one run: what is stored, how many MAC
// look-ups (pings) each costs, and what they leave behind.
TEST(receive, the_filters_in_order)
{
    struct {
        const char* what;
        std::string bytes, from;
        std::size_t stored, pings;
    } rows[] = {
        {"a Hello", hello(), camera, 0, 0},
        {"a Hello inside a ProbeMatch", probe_match("") + "<x:Hello>", camera, 0, 0},
        {"from the multicast group", probe_match(""), "239.255.255.250", 0, 0},
        {"a ProbeMatch without XAddrs and Scopes", probe_match(""), camera, 1, 1},
        {"the same responder again", probe_match(""), camera, 1, 1},
        {"not a ProbeMatch: looked up, then dropped", "<d:Resolve xmlns:d=\"" + discovery_ns + "\"/>", "10.0.0.10", 1, 2},
        {"a ProbeMatch after it from the same address", probe_match(""), "10.0.0.10", 1, 2},
        {"empty", "", "10.0.0.11", 1, 3},
        {"over the room of 10240 bytes", probe_match(scope_root + "hardware/" + std::string(20000, 'Q')), "10.0.0.12", 1, 4},
        {"an empty prefix", probe_match(scope_root + "Profile/T", "http://10.0.0.13:81/", ""), "10.0.0.13", 2, 5},
        {"garbage filling the room", std::string(10240, '<') + "</>", "10.0.0.14", 2, 6},
    };
    set_up();
    for (auto& r : rows) {
        arrive(r.bytes, r.from);
        EXPECT_EQ(fake::state.stored.size(), r.stored) << r.what;
        EXPECT_EQ(fake::events_named("ping:").size(), r.pings) << r.what;
    }
    EXPECT_EQ(fake::state.stored[0].port, 80);
    EXPECT_STREQ(fake::state.stored[0].model, "ONVIF Cameras (Fixed Settings)");
    EXPECT_EQ(fake::state.stored[1].port, 81);
    EXPECT_EQ(seen_responder_addrs.size(), 6u);
}

TEST(receive, a_device_with_no_arp_entry_gets_its_local_interface_mac)
{
    set_up();
    fake::state.arp_tables.clear();
    netcom_nic_dev_name_st e{};
    std::memcpy(e.name, "eth0", 5);
    e.select_flag_1 = e.select_flag_2 = 1;
    fake::state.dev_names = {e};
    fake::state.nics["eth0"] = fake::nic("eth0", "02:00:00:00:00:01", camera);
    arrive(probe_match(""));
    ASSERT_EQ(fake::state.stored.size(), 1u);
    EXPECT_STREQ(fake::state.stored[0].mac_addr, "02:00:00:00:00:01");
}

TEST(receive, timeouts_are_quiet_and_a_failed_read_is_logged)
{
    set_up();
    recv_onvif_response();
    EXPECT_TRUE(fake::state.log.empty());
    fake::state.recv_result = -1;
    recv_onvif_response();
    EXPECT_EQ(fake::state.log, lines{"[onvif camscout] onvif_socket(7) Reading datagram message error -1"});
}
