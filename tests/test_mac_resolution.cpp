#include <gtest/gtest.h>

#include "platform/text_field.h"
#include "response/dev_info.h"
#include "response/mac_resolution.h"
#include "test_support.h"

static const std::string arp_header =
    "IP address       HW type     Flags       HW address            Mask     Device\n";

static std::string arp_line(const std::string& ip, const std::string& mac, const char* flags = "0x2")
{
    return ip + std::string(17 - ip.size(), ' ') + "0x1         " + flags + "         " + mac +
           "     *        eth0\n";
}

struct arp_case {
    std::string table;
    const char* address;
    const char* mac;
};

TEST(arp_table_lookup, takes_the_hw_column_of_the_first_exact_match)
{
    const arp_case cases[] = {
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
    };
    for (const arp_case& c : cases) {
        std::string table = c.table.empty() ? " " : c.table;  // fmemopen wants a non-empty buffer
        FILE* f = fmemopen(table.data(), table.size(), "r");
        char mac[32] = "junk";
        arp_table_lookup(f, c.address, mac);
        fclose(f);
        EXPECT_STREQ(mac, c.mac) << c.table;
    }
}

TEST(arp_table_lookup, an_over_long_line_is_read_in_pieces)
{
    std::string table = arp_header + std::string(1022, 'x') + "192.168.1.2 0x1 0x2 aa:bb:cc:dd:ee:01 * eth0\n";
    FILE* f = fmemopen(table.data(), table.size(), "r");
    char mac[32];
    arp_table_lookup(f, "192.168.1.2", mac);
    fclose(f);
    EXPECT_STREQ(mac, "aa:bb:cc:dd:ee:01");
}

TEST(resolve_device_mac, pings_then_tries_the_table_up_to_20_times)
{
    reset_process_state();
    std::string incomplete = arp_header + arp_line("10.0.0.9", "00:00:00:00:00:00", "0x0");
    fake::state.arp_tables = {incomplete, incomplete, arp_header + arp_line("10.0.0.9", "02:aa:00:00:00:09")};
    char mac[32];
    resolve_device_mac(fake::addr("10.0.0.9"), mac);
    EXPECT_STREQ(mac, "02:aa:00:00:00:09");
    EXPECT_EQ(fake::state.arp_opens, 3);
    EXPECT_EQ(fake::state.events.front(), "ping:10.0.0.9:3000:");
    EXPECT_EQ(fake::state.log.back(), "[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = 02:aa:00:00:00:09");

    reset_process_state();
    fake::state.arp_tables = {incomplete};
    resolve_device_mac(fake::addr("10.0.0.9"), mac);
    EXPECT_EQ(fake::state.arp_opens, 20);
    EXPECT_EQ(fake::state.log.back(), "[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = 00:00:00:00:00:00");

    reset_process_state();  // no table at all
    resolve_device_mac(fake::addr("10.0.0.9"), mac);
    EXPECT_STREQ(mac, "00:00:00:00:00:00");
}

static netcom_nic_dev_name_st dev_name(const char* name, int up, int has_addr, int loopback)
{
    netcom_nic_dev_name_st e{};
    copy_text(e.name, name);
    e.select_flag_1 = static_cast<uint8_t>(up);
    e.select_flag_2 = static_cast<uint8_t>(has_addr);
    e.exclude_flag = static_cast<uint8_t>(loopback);
    return e;
}

TEST(get_local_mac_addr, takes_the_first_considered_interface_holding_the_address)
{
    reset_process_state();
    for (const char* dev : {"down0", "noaddr0", "lo", "fail0", "eth0", "eth1"})
        if (std::string(dev) != "fail0")
            fake::state.nics[dev] = fake::nic(dev, std::string("02:00:00:00:00:") + (std::string(dev) == "eth1" ? "11" : "10"),
                                              "10.0.0.1", "10.0.0.255");
    fake::state.dev_names = {dev_name("down0", 0, 1, 0), dev_name("noaddr0", 1, 0, 0), dev_name("lo", 1, 1, 1),
                             dev_name("fail0", 1, 1, 0), dev_name("eth0", 1, 1, 0), dev_name("eth1", 1, 1, 0)};
    dev_info_ptr info = create_dev_info(fake::addr("10.0.0.1"), "00:00:00:00:00:00");
    get_local_mac_addr(*info);
    EXPECT_STREQ(info->mac_addr, "02:00:00:00:00:10");
    EXPECT_EQ(fake::state.log, std::vector<std::string>{
        "[onvif camscout] get_local_mac_addr() dev=[eth0], addr=[10.0.0.1], mac=[02:00:00:00:00:10]"});
    std::vector<std::string> infos = {"netcom_NIC_Get_Info:fail0", "netcom_NIC_Get_Info:eth0"};
    EXPECT_EQ(fake::events_named("netcom_NIC_Get_Info"), infos);
    EXPECT_EQ(fake::events_named("netcom_NIC_Free").size(), 1u);
}

TEST(get_local_mac_addr, no_match_or_no_list_leaves_the_record)
{
    reset_process_state();
    fake::state.nics["eth0"] = fake::nic("eth0", "02:00:00:00:00:10", "10.0.0.2", "10.0.0.255");
    fake::state.dev_names = {dev_name("eth0", 1, 1, 0)};
    dev_info_ptr info = create_dev_info(fake::addr("10.0.0.1"), "00:00:00:00:00:00");
    get_local_mac_addr(*info);
    EXPECT_STREQ(info->mac_addr, "00:00:00:00:00:00");
    EXPECT_EQ(fake::events_named("netcom_NIC_Free").size(), 1u);

    reset_process_state();
    fake::state.dev_name_list_result = -1;
    get_local_mac_addr(*info);
    EXPECT_STREQ(info->mac_addr, "00:00:00:00:00:00");
    EXPECT_TRUE(fake::events_named("netcom_NIC_Free").empty());
}
