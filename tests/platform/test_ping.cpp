// The host's network parts against doubles of their calls: the ping (with no wait, timeout 0),
// its route decoding and its waits' budget, and the interfaces read from a getifaddrs list.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <net/if.h>

#include <map>
#include <tuple>

#include "host/net/neighbour_removal.h"
#include "platform/os_calls.h"
#include "platform/platform.h"

// The kernel's entries on device 2 (NUD_ state by address), a host that answers ARP, one behind a gateway.
static std::map<in_addr_t, uint16_t> neighbours{
    {inet_addr("10.0.0.2"), NUD_STALE}, {inet_addr("10.0.0.3"), NUD_FAILED}, {inet_addr("10.0.0.7"), NUD_REACHABLE}};
static const in_addr_t live = inet_addr("10.0.0.6"), routed = inet_addr("10.0.0.7");
static std::string seen;  // sockets opened, sends, removals asked, results

int os_socket(int, int, int) { return seen += "socket, ", 5; }
static int64_t now;  // the waits' clock, in ms: only their pauses move it
int os_poll(pollfd*, nfds_t, int ms) { return now += ms, 0; }
// The datagram makes the kernel ask for the address, and only the live host answers.
ssize_t os_sendto(int, const void*, size_t, int, const sockaddr* to, socklen_t)
{
    seen += "send, ";
    neighbours.emplace(reinterpret_cast<const sockaddr_in*>(to)->sin_addr.s_addr, NUD_INCOMPLETE);
    return 0;
}
bool ask_route(int, in_addr_t address, int& device) { return device = 2, address != routed; }
int ask_neighbour(int, uint16_t, int index, in_addr_t a)
{
    if (index != 2 || !neighbours.count(a))
        return errno = ENOENT, -1;
    return a == live ? NUD_REACHABLE : neighbours[a];
}

TEST(ping, sends_only_where_unresolved_and_asks_to_remove_the_entries_it_left_so)
{
    ask_neighbour_removal = [](const neighbour_removal& r) {
        seen += std::string("remove ") + inet_ntoa({r.address}) + " on " + std::to_string(r.device) + ", ";
    };
    for (const char* a : {"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.6", "10.0.0.7", "10.0.0.x"})
        seen += std::to_string(ping(a, 0, nullptr)) + ", ";
    EXPECT_EQ(seen, "socket, socket, 0, send, remove 10.0.0.3 on 2, -1, send, remove 10.0.0.4 on 2, -1, send, 0, send, -1, -1, ");
}

// The kernel's answers as bytes (little-endian host): through a gateway,
// without one, broadcast (as local or any other type), cut short, an error.
TEST(ping, takes_the_route_from_the_kernels_answer)
{
    auto route = [](const std::string& hex) {
        std::vector<uint8_t> b;
        for (std::size_t i = 0; i + 1 < hex.size(); i += hex[i] == ' ' ? 1 : 2)
            if (hex[i] != ' ')
                b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        int device = -1;
        return std::tuple{on_link_route(b.data(), b.size(), device), device};  // in this order
    };
    const std::string head = "2c000000 1800 0000 00000000 00000000 02200000 ", to = " 00020000 08000100 0a010203 ";
    EXPECT_EQ(route(head + "fe000001" + to + "08000500 0a000001"), std::tuple(false, 0));
    EXPECT_EQ(route(head + "fe000001" + to + "08000400 02000000"), std::tuple(true, 2));
    EXPECT_EQ(route(head + "fe000003" + to + "08000400 02000000"), std::tuple(false, 2));
    EXPECT_EQ(route(head + "fe000001" + to + "08000400"), std::tuple(false, 0));
    EXPECT_EQ(route("24000000 0200 0000 00000000 00000000 9bffffff 24000000 1a00 0100 00000000 00000000"),
              std::tuple(false, 0));
}

// 250 ms per address, 20 free, 600 for the run.
TEST(ping, waits_share_one_budget)
{
    neighbour_wait waits{250, 20, 600};
    const int never = -1;
    const struct { int64_t at; bool resolved; int64_t after; int left; } cases[] = {
        {0, true, 0, 600},  {never, false, 250, 350}, {20, true, 20, 350}, {25, true, 25, 325},
        {240, true, 240, 85}, {never, false, 85, 0},  {never, false, 0, 0}, {0, true, 0, 0}};
    for (const auto& c : cases) {
        now = 0;
        EXPECT_EQ(waits.wait(3000, [&] { return c.at >= 0 && now >= c.at; }, [] { return now; }), c.resolved);
        EXPECT_EQ(std::tuple(now, waits.budget_left_ms), std::tuple(c.after, c.left));
    }
}

static ifaddrs* listed;  // the C library's list of the interfaces' addresses, as the test makes it
int getifaddrs(ifaddrs** all) noexcept { return *all = listed, 0; }
void freeifaddrs(ifaddrs*) noexcept {}

// From the first IPv4 address and a link address that is a MAC; no address, no entry.
TEST(kernel_interfaces, fill_the_records_from_the_first_address_and_a_mac)
{
    sockaddr_in made[9];
    auto in = [&made, n = 0](const char* dotted) mutable { return reinterpret_cast<sockaddr*>(&(made[n++] = {AF_INET, 0, {inet_addr(dotted)}, {}})); };
    char cam[] = "camtest0", odd[] = "camtest1", bare[] = "camtest2";
    sockaddr_ll mac{AF_PACKET, 0, 0, 0, 0, 6, {0x02, 0x00, 0x5e, 0x10, 0x0a, 0xff}}, eight_bytes{AF_PACKET, 0, 0, 0, 0, 8, {0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7}};
    ifaddrs none{nullptr, bare, IFF_UP, nullptr, nullptr, {nullptr}, nullptr};
    ifaddrs odd_addr{&none, odd, 0, in("10.1.0.2"), in("255.255.0.0"), {in("10.1.255.255")}, nullptr};
    ifaddrs odd_link{&odd_addr, odd, 0, reinterpret_cast<sockaddr*>(&eight_bytes), nullptr, {nullptr}, nullptr};
    ifaddrs second{&odd_link, cam, IFF_UP | IFF_BROADCAST, in("10.0.9.2"), in("255.255.0.0"), {in("10.0.255.255")}, nullptr};
    ifaddrs first{&second, cam, IFF_UP | IFF_BROADCAST, in("10.0.0.2"), in("255.255.255.0"), {in("10.0.0.255")}, nullptr};
    ifaddrs link{&first, cam, IFF_UP, reinterpret_cast<sockaddr*>(&mac), nullptr, {nullptr}, nullptr};
    listed = &link;
    netcom_nic_dev_name_st* names = nullptr;
    t_auth auth{};
    t_network_netmgr_net_list list;
    std::string text = std::to_string(netcom_NIC_Get_Dev_Name_List(&names) + PAL_network_get_netmgr_net_list(&auth, &list)) + "\n";
    for (netcom_nic_dev_name_st* e = names; e != nullptr; e = e->next) {
        NIC_INFO info{};
        text += std::to_string(netcom_NIC_Get_Info(e->name, &info)) + " " + info.dev + " " + info.mac + " " + info.addr + " " + info.netmask +
                " " + info.b_addr + ", " + e->name + " up " + std::to_string(e->select_flag_1) + " addr " + std::to_string(e->select_flag_2) + "\n";
    }
    netcom_NIC_Free_Dev_Name_List(names);
    for (const t_network_netmgr_wired& w : list.wired)
        text += std::string(w.dev_name) + " " + w.state + " " + w.ipv4_addr + "\n";
    EXPECT_EQ(text, "0\n0 camtest0 02:00:5e:10:0a:ff 10.0.0.2 255.255.255.0 10.0.0.255, camtest0 up 1 addr 1\n"
                    "0 camtest1  10.1.0.2 255.255.0.0 0.0.0.0, camtest1 up 0 addr 1\ncamtest0 1 10.0.0.2\ncamtest1 0 10.1.0.2\n");
}
