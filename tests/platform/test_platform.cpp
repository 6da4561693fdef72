// The Linux platform without root or network: the interface reader, the
// records it fills, the ping's reply parser, settings, logging, the lock.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <list>

#include "platform/kernel_interfaces.h"
#include "platform/logger.h"
#include "platform/ping_reply.h"
#include "platform/platform.h"
#include "platform/settings.h"

// A getifaddrs list made by hand: one entry per name and family.
struct ifaddrs_list {
    std::list<sockaddr_storage> addrs;
    std::vector<ifaddrs> entries;

    sockaddr* v4(const char* dotted)
    {
        if (dotted == nullptr)
            return nullptr;
        sockaddr_in& a = reinterpret_cast<sockaddr_in&>(addrs.emplace_back());
        a.sin_family = AF_INET;
        inet_pton(AF_INET, dotted, &a.sin_addr);
        return reinterpret_cast<sockaddr*>(&a);
    }
    void link(const char* name, unsigned flags, unsigned char halen)
    {
        sockaddr_ll& l = reinterpret_cast<sockaddr_ll&>(addrs.emplace_back());
        l.sll_family = AF_PACKET;
        l.sll_halen = halen;
        for (unsigned char i = 0; i < 6; ++i)
            l.sll_addr[i] = static_cast<unsigned char>(0xa0 + i);
        entries.push_back({nullptr, const_cast<char*>(name), flags, reinterpret_cast<sockaddr*>(&l), nullptr, {nullptr}, nullptr});
    }
    void inet(const char* name, unsigned flags, const char* addr, const char* mask, const char* brd)
    {
        entries.push_back({nullptr, const_cast<char*>(name), flags, v4(addr), v4(mask), {v4(brd)}, nullptr});
    }
    const ifaddrs* head()
    {
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            entries[i].ifa_next = &entries[i + 1];
        return entries.data();
    }
};

TEST(kernel_interfaces, one_entry_per_name_from_its_link_and_first_ipv4_address)
{
    const unsigned up = IFF_UP | IFF_BROADCAST;
    ifaddrs_list l;
    l.link("eth0", up, 6);
    l.inet("eth0", up, "10.0.0.2", "255.255.255.0", "10.0.0.255");
    l.inet("eth0", up, "10.0.9.2", "255.255.0.0", "10.0.255.255");
    l.link("lo", IFF_UP | IFF_LOOPBACK, 6);
    l.inet("lo", IFF_UP | IFF_LOOPBACK, "127.0.0.1", "255.0.0.0", "127.255.255.255");
    l.link("down0", IFF_BROADCAST, 6);
    l.inet("tun0", IFF_UP, "10.8.0.1", "255.255.255.255", nullptr);
    l.link("can0", IFF_UP, 0);
    l.inet("gone0", up, nullptr, nullptr, nullptr);
    struct {
        const char *name, *mac, *addr, *mask, *brd;
        bool up, loopback;
    } rows[] = {
        {"eth0", "a0:a1:a2:a3:a4:a5", "10.0.0.2", "255.255.255.0", "10.0.0.255", true, false},
        {"lo", "a0:a1:a2:a3:a4:a5", "127.0.0.1", "255.0.0.0", "0.0.0.0", true, true},
        {"down0", "a0:a1:a2:a3:a4:a5", "", "", "0.0.0.0", false, false},
        {"tun0", "", "10.8.0.1", "255.255.255.255", "0.0.0.0", true, false},
        {"can0", "", "", "", "0.0.0.0", true, false},
    };
    std::vector<kernel_interface> list = interfaces_from(l.head());
    ASSERT_EQ(list.size(), std::size(rows));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const kernel_interface& k = list[i];
        auto& r = rows[i];
        EXPECT_EQ(std::tie(k.name, k.mac, k.addr, k.netmask, k.broadcast),
                  std::make_tuple(r.name, r.mac, r.addr, r.mask, r.brd));
        EXPECT_EQ(k.up, r.up) << k.name;
        EXPECT_EQ(k.loopback, r.loopback) << k.name;
    }
}

TEST(kernel_interfaces, fill_the_platform_records)
{
    kernel_interface eth{"test-eth0", "a0:a1:a2:a3:a4:a5", "10.0.0.2", "255.255.255.0", "10.0.0.255", true, false};
    kernel_interface lo{"test-lo", "", "", "", "0.0.0.0", false, true};
    NIC_INFO info;
    fill_nic_info(eth, info);
    EXPECT_EQ(std::make_tuple(std::string(info.dev), std::string(info.mac), std::string(info.addr),
                              std::string(info.netmask), std::string(info.b_addr)),
              std::make_tuple(eth.name, eth.mac, eth.addr, eth.netmask, eth.broadcast));
    for (const kernel_interface& k : {eth, lo}) {
        netcom_nic_dev_name_st e = dev_name_entry(k);
        EXPECT_STREQ(e.name, k.name.c_str());
        EXPECT_EQ(std::make_tuple(e.select_flag_1, e.select_flag_2, e.exclude_flag, e.next),
                  std::make_tuple(uint8_t(k.up), uint8_t(!k.addr.empty()), uint8_t(k.loopback), nullptr));
    }
    // A device that is neither a bridge nor wireless in sysfs is wired.
    t_network_netmgr_net_list list;
    add_net_list_entry(list, eth);
    add_net_list_entry(list, lo);
    ASSERT_EQ(list.wired.size(), 2u);
    EXPECT_TRUE(list.wireless.empty() && list.bridges.empty());
    EXPECT_EQ(std::make_tuple(std::string(list.wired[0].dev_name), std::string(list.wired[0].state),
                              std::string(list.wired[0].ipv4_addr), std::string(list.wired[1].state)),
              std::make_tuple(eth.name, "1", eth.addr, "0"));
}

TEST(ping, reads_an_echo_reply_with_or_without_the_ip_header)
{
    const uint8_t ip_header[20] = {0x45};
    const uint8_t reply[8] = {0, 0, 0, 0, 0x12, 0x34, 0, 1}, request[8] = {8, 0, 0, 0, 0x12, 0x34, 0, 1};
    auto with_header = [&](const uint8_t (&icmp)[8]) {
        std::vector<uint8_t> v(ip_header, ip_header + 20);
        v.insert(v.end(), icmp, icmp + 8);
        return v;
    };
    struct { std::vector<uint8_t> bytes; bool ip; uint16_t id; bool is_reply; } cases[] = {
        {{reply, reply + 8}, false, 0x9999, true},   // the kernel matched the id
        {{request, request + 8}, false, 0x1234, false},
        {{reply, reply + 7}, false, 0x1234, false},
        {with_header(reply), true, 0x1234, true},
        {with_header(reply), true, 0x1235, false},
        {with_header(request), true, 0x1234, false},
        {{ip_header, ip_header + 20}, true, 0x1234, false},  // nothing behind the header
        {{}, true, 0x1234, false},
    };
    for (auto& c : cases)
        EXPECT_EQ(is_echo_reply(c.bytes.data(), c.bytes.size(), c.ip, c.id), c.is_reply) << c.bytes.size();
}

TEST(settings, relative_paths_are_made_absolute_and_empty_ones_fall_back)
{
    std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(path_setting("store.db", "/x"), cwd + "/store.db");
    EXPECT_EQ(path_setting("./run/", "/x"), cwd + "/./run/");
    EXPECT_EQ(path_setting("/var/a.db", "/x"), "/var/a.db");
    EXPECT_EQ(path_setting("", "/x"), "/x");
    EXPECT_EQ(path_setting(nullptr, ""), "");
}

TEST(escape_log_text, keeps_one_call_on_one_line)
{
    struct { std::string in, out; } cases[] = {
        {"plain text 100% ~", "plain text 100% ~"},
        {"a\\b", "a\\\\b"},
        {"line\r\nnext", "line\\r\\nnext"},
        {std::string("\x01\x1f\x7f\x00", 4), "\\x01\\x1f\\x7f\\x00"},
        {"caf\xc3\xa9 \x80\xff", "caf\xc3\xa9 \x80\xff"},
        {"\t\x1b[2J", "\\x09\\x1b[2J"},
    };
    for (auto& c : cases)
        EXPECT_EQ(escape_log_text(c.in), c.out);
}

// The settings are read at start-up, so the lock folder is the default or
// what CAMSCOUT_RUNDIR named; a name unique to this test keeps it apart.
TEST(reentried, a_second_holder_of_the_same_name_is_refused)
{
    std::string name = "/some/where/camscout-guard-test-" + std::to_string(getpid());
    ASSERT_EQ(reentried(name.c_str()), 0);
    pid_t child = fork();
    if (child == 0)
        _exit(reentried(("other/dir/" + name.substr(name.rfind('/') + 1)).c_str()) != 0 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child was not refused";
    EXPECT_EQ(reentried("camscout-guard-other-name"), 0);
}
