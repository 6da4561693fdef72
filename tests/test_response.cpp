// Response processing: receive and dispatch, de-duplication, MAC
// resolution and the record.
#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/model_table.h"
#include "core/globals.h"
#include "fake_platform.h"
#include "messages.h"
#include "platform/platform.h"
#include "platform/text_field.h"
#include "response/dedup.h"
#include "response/dev_info.h"
#include "response/mac_resolution.h"
#include "response/receive.h"

using lines = std::vector<std::string>;

static const std::string camera = "10.0.0.9";

static netcom_nic_dev_name_st dev_name(const char* name, uint8_t up, uint8_t has_addr, uint8_t loopback)
{
    netcom_nic_dev_name_st e{};
    copy_text(e.name, name);
    e.select_flag_1 = up;
    e.select_flag_2 = has_addr;
    e.exclude_flag = loopback;
    return e;
}

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
    EXPECT_EQ(std::make_tuple(std::string(r.ip_addr), std::string(r.mac_addr), r.brand_id, r.port, r.model_id, std::string(r.model)),
              std::make_tuple(camera, "02:aa:00:00:00:09", 31, 80, make_long_long(31, 862), "DS-2CD2187G2H-LISU"));
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
    struct { const char* what; std::string bytes, from; std::size_t stored, pings; } rows[] = {
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
        {"this host: no ARP entry, a local interface's MAC", probe_match(""), "10.0.0.15", 3, 7},
    };
    set_up();
    fake::state.dev_names = {dev_name("eth0", 1, 1, 0)};
    fake::state.nics["eth0"] = fake::nic("eth0", "02:00:00:00:00:01", "10.0.0.15");
    for (auto& r : rows) {
        arrive(r.bytes, r.from);
        EXPECT_EQ(fake::state.stored.size(), r.stored) << r.what;
        EXPECT_EQ(fake::events_named("ping:").size(), r.pings) << r.what;
    }
    EXPECT_EQ(fake::state.stored[0].port, 80);
    EXPECT_STREQ(fake::state.stored[0].model, "ONVIF Cameras (Fixed Settings)");
    EXPECT_EQ(fake::state.stored[1].port, 81);
    EXPECT_STREQ(fake::state.stored[2].mac_addr, "02:00:00:00:00:01");
    EXPECT_EQ(seen_responder_addrs.size(), 7u);
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

static std::string channel_match(const std::string& token)
{
    return probe_match(scope_root + "Profile/Streaming " + token);
}

// One run's responders in order: whether each is already known, and the key
// it leaves (the address, or the address and channel).
TEST(dedup, each_address_and_each_channel_of_an_address_is_handled_once)
{
    const std::string a = std::to_string(fake::addr("10.0.0.1")), b = std::to_string(fake::addr("10.0.0.2"));
    struct { const char* source; std::string message; bool known; std::string key; /* "" when none is added */ } rows[] = {
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
    lines want;
    for (auto& r : rows) {
        EXPECT_EQ(is_known_responder(fake::addr(r.source), r.message.c_str()), r.known) << r.message;
        if (!r.key.empty())
            want.push_back(r.key);
    }
    lines seen = seen_channel_keys;
    for (uint64_t s : seen_responder_addrs)
        seen.push_back(std::to_string(s));
    std::sort(seen.begin(), seen.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(seen, want);
}

static const std::string arp_header =
    "IP address       HW type     Flags       HW address            Mask     Device\n";

static std::string arp_line(const std::string& ip, const std::string& mac, const char* flags = "0x2")
{
    return ip + std::string(17 - ip.size(), ' ') + "0x1         " + flags + "         " + mac +
           "     *        eth0\n";
}

TEST(arp_table_lookup, takes_the_hw_column_of_the_first_exact_match)
{
    const struct { std::string table; const char* address; const char* mac; } cases[] = {
        {arp_header + arp_line("192.168.1.2", "aa:bb:cc:dd:ee:01"), "192.168.1.2", "aa:bb:cc:dd:ee:01"},
        {arp_header + arp_line("192.168.1.20", "aa:bb:cc:dd:ee:20"), "192.168.1.2", "00:00:00:00:00:00"},
        {arp_header + arp_line("192.168.1.2", "AA:BB:CC:DD:EE:01") + arp_line("192.168.1.2", "11:11:11:11:11:11"),
         "192.168.1.2", "AA:BB:CC:DD:EE:01"},
        {arp_header + arp_line("192.168.1.2", "00:00:00:00:00:00", "0x0") + arp_line("192.168.1.2", "11:11:11:11:11:11"),
         "192.168.1.2", "00:00:00:00:00:00"},
        {arp_line("192.168.1.2", "aa:bb:cc:dd:ee:01"), "192.168.1.2", "00:00:00:00:00:00"},  // header only
        {arp_header + "192.168.1.2 0x1 0x2\n" + arp_line("192.168.1.2", "11:11:11:11:11:11"), "192.168.1.2",
         "00:00:00:00:00:00"},
        {arp_header + "\n   \n192.168.1.2\t0x1 0x2 aa:bb:cc:dd:ee:01\n" + arp_line("192.168.1.2", "aa:bb:cc:dd:ee:02"),
         "192.168.1.2", "aa:bb:cc:dd:ee:02"},
        {arp_header + "192.168.1.2 0x1 0x2 aa:bb:cc:dd:ee:01", "192.168.1.2", "aa:bb:cc:dd:ee:01"},
        // The newline is no separator: it stays in a line's last token.
        {arp_header + "192.168.1.2 0x1 0x2 aa:bb:cc:dd:ee:01\n", "192.168.1.2", "aa:bb:cc:dd:ee:01\n"},
        {arp_header + "192.168.1.2\n" + arp_line("192.168.1.2", "aa:bb:cc:dd:ee:02"), "192.168.1.2",
         "aa:bb:cc:dd:ee:02"},
        {arp_header + "192.168.1.2 0x1 0x2 " + std::string(40, 'f') + " * eth0\n", "192.168.1.2",
         "fffffffffffffffffffffffffffffff"},
        {"", "192.168.1.2", "00:00:00:00:00:00"},
        // A line over 1022 characters is read in pieces, each a line.
        {arp_header + std::string(1022, 'x') + "192.168.1.2 0x1 0x2 aa:bb:cc:dd:ee:01 * eth0\n", "192.168.1.2",
         "aa:bb:cc:dd:ee:01"},
    };
    for (auto& c : cases) {
        std::string table = c.table.empty() ? " " : c.table;  // fmemopen wants a non-empty buffer
        FILE* f = fmemopen(table.data(), table.size(), "r");
        char mac[32] = "junk";
        arp_table_lookup(f, c.address, mac);
        fclose(f);
        EXPECT_STREQ(mac, c.mac) << c.table;
    }
}

TEST(resolve_device_mac, pings_then_reads_the_table_up_to_20_times)
{
    const std::string incomplete = arp_header + arp_line("10.0.0.9", "00:00:00:00:00:00", "0x0");
    const std::string complete = arp_header + arp_line("10.0.0.9", "02:aa:00:00:00:09");
    struct { lines tables; int opens; const char* mac; } cases[] = {
        {{complete}, 1, "02:aa:00:00:00:09"},
        {{incomplete, incomplete, complete}, 3, "02:aa:00:00:00:09"},
        {{incomplete}, 20, "00:00:00:00:00:00"},
        {{}, 0, "00:00:00:00:00:00"},  // no table at all
    };
    for (auto& c : cases) {
        fake::reset();
        fake::state.arp_tables = c.tables;
        char mac[32];
        resolve_device_mac(fake::addr("10.0.0.9"), mac);
        EXPECT_STREQ(mac, c.mac);
        EXPECT_EQ(fake::state.arp_opens, c.opens);
        EXPECT_EQ(fake::state.arp_closes, c.opens);
        EXPECT_EQ(fake::state.events.front(), "ping:10.0.0.9:3000:");
        EXPECT_EQ(fake::state.log, lines{"[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = " +
                                                            std::string(c.mac)});
    }
}


TEST(get_local_mac_addr, takes_the_first_considered_interface_holding_the_address)
{
    struct { std::vector<netcom_nic_dev_name_st> devs; int list_result; const char* mac; lines infos_asked; } cases[] = {
        {{dev_name("down0", 0, 1, 0), dev_name("noaddr0", 1, 0, 0), dev_name("lo", 1, 1, 1), dev_name("fail0", 1, 1, 0),
          dev_name("other0", 1, 1, 0), dev_name("eth0", 1, 1, 0), dev_name("eth1", 1, 1, 0)},
         0, "02:00:00:00:00:10", {"fail0", "other0", "eth0"}},
        {{dev_name("other0", 1, 1, 0)}, 0, "00:00:00:00:00:00", {"other0"}},
        {{}, 0, "00:00:00:00:00:00", {}},
        {{dev_name("eth0", 1, 1, 0)}, -1, "00:00:00:00:00:00", {}},
    };
    for (auto& c : cases) {
        fake::reset();
        for (const char* dev : {"down0", "noaddr0", "lo", "eth0"})
            fake::state.nics[dev] = fake::nic(dev, "02:00:00:00:00:10", "10.0.0.1");
        fake::state.nics["eth1"] = fake::nic("eth1", "02:00:00:00:00:11", "10.0.0.1");
        fake::state.nics["other0"] = fake::nic("other0", "02:00:00:00:00:12", "10.0.0.10");
        fake::state.dev_names = c.devs;
        fake::state.dev_name_list_result = c.list_result;
        dev_info_ptr info = create_dev_info(fake::addr("10.0.0.1"), "00:00:00:00:00:00");
        get_local_mac_addr(*info);
        EXPECT_STREQ(info->mac_addr, c.mac);
        lines asked;
        for (const std::string& dev : c.infos_asked)
            asked.push_back("netcom_NIC_Get_Info:" + dev);
        EXPECT_EQ(fake::events_named("netcom_NIC_Get_Info"), asked);
        EXPECT_EQ(fake::events_named("netcom_NIC_Free").size(), c.list_result == 0 ? 1u : 0u);
        EXPECT_EQ(fake::state.log, c.mac[1] == '2' ? lines{"[onvif camscout] get_local_mac_addr() dev=[eth0], addr=[10.0.0.1], "
                                                           "mac=[02:00:00:00:00:10]"} : lines{});
    }
}

static dev_info_ptr record(int brand, const char* mac = "02:00:00:00:00:01")
{
    dev_info_ptr info = create_dev_info(fake::addr("10.0.0.9"), mac);
    info->brand_id = brand;
    info->port = 8080;
    copy_text(info->model, "M");
    return info;
}

TEST(store_dev_info, logs_forces_port_80_for_some_brands_and_stores_a_known_mac)
{
    std::vector<std::pair<int, int>> brand_port = {{44, 8080}, {2, 8080}, {139, 8080}, {0, 8080}};
    for (int brand : forced_port_brands)
        brand_port.push_back({brand, 80});
    for (auto [brand, port] : brand_port) {
        for (const char* mac : {"02:00:00:00:00:01", "00:00:00:00:00:00"}) {
            fake::reset();
            store_dev_info(record(brand, mac));
            bool known = mac[1] == '2';
            ASSERT_EQ(fake::state.stored.size(), known ? 1u : 0u);
            EXPECT_EQ(known ? fake::state.stored[0].port : port, port) << "brand " << brand;
            EXPECT_EQ(fake::state.log, lines{
                "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[M], pInfo->mac_addr=[" +
                std::string(mac) + "]"});
        }
    }
}

TEST(create_dev_info, cuts_every_text_to_its_field_and_zeroes_the_rest)
{
    dev_info_ptr info = create_dev_info(fake::addr("255.255.255.255"), std::string(40, 'm').c_str());
    TMediaSourceDevInfo zero{};
    copy_text(zero.ip_addr, "255.255.255.255");
    copy_text(zero.mac_addr, std::string(23, 'm'));
    EXPECT_EQ(std::memcmp(info.get(), &zero, sizeof zero), 0);
}
