#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/text_field.h"
#include "response/dev_info.h"
#include "response/mac_resolution.h"

static const std::string arp_header =
    "IP address       HW type     Flags       HW address            Mask     Device\n";

static std::string arp_line(const std::string& ip, const std::string& mac, const char* flags = "0x2")
{
    return ip + std::string(17 - ip.size(), ' ') + "0x1         " + flags + "         " + mac +
           "     *        eth0\n";
}

TEST(arp_table_lookup, takes_the_hw_column_of_the_first_exact_match)
{
    const struct {
        std::string table;
        const char* address;
        const char* mac;
    } cases[] = {
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
    struct {
        std::vector<std::string> tables;
        int opens;
        const char* mac;
    } cases[] = {
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
        EXPECT_EQ(fake::state.log, std::vector<std::string>{"[onvif camscout] pch_IP 10.0.0.9, FindRemoteMAC = " +
                                                            std::string(c.mac)});
    }
}

static netcom_nic_dev_name_st dev_name(const char* name, uint8_t up, uint8_t has_addr, uint8_t loopback)
{
    netcom_nic_dev_name_st e{};
    copy_text(e.name, name);
    e.select_flag_1 = up;
    e.select_flag_2 = has_addr;
    e.exclude_flag = loopback;
    return e;
}

TEST(get_local_mac_addr, takes_the_first_considered_interface_holding_the_address)
{
    struct {
        std::vector<netcom_nic_dev_name_st> devs;
        int list_result;
        const char* mac;
        std::vector<std::string> infos_asked;
    } cases[] = {
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
        std::vector<std::string> asked;
        for (const std::string& dev : c.infos_asked)
            asked.push_back("netcom_NIC_Get_Info:" + dev);
        EXPECT_EQ(fake::events_named("netcom_NIC_Get_Info"), asked);
        EXPECT_EQ(fake::events_named("netcom_NIC_Free").size(), c.list_result == 0 ? 1u : 0u);
        std::vector<std::string> log;
        if (c.mac[1] == '2')
            log.push_back("[onvif camscout] get_local_mac_addr() dev=[eth0], addr=[10.0.0.1], mac=[02:00:00:00:00:10]");
        EXPECT_EQ(fake::state.log, log);
    }
}
