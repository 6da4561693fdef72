// The host's network parts: the ping against doubles of its socket calls,
// with no wait (timeout 0), and the interfaces read from a getifaddrs list.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/ioctl.h>

#include <list>
#include <map>

#include "host/net/kernel_interfaces.h"
#include "host/net/neighbour_removal.h"
#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/text_field.h"

static std::map<in_addr_t, uint16_t> neighbours;  // the kernel's entries on device 2: NUD_ state by address
static in_addr_t live, routed;                    // a host that answers ARP, one behind a gateway
static int sockets = 0;
static struct {
    nlmsghdr h;
    union {
        struct { rtmsg r; rtattr oif; int index; rtattr gateway; in_addr_t via; } route;
        ndmsg entry;
        nlmsgerr error;
    };
} answer;  // the route socket's, to its last question

int os_socket(int domain, int, int) { return ++sockets, domain == AF_NETLINK ? 6 : 5; }
int os_close(int) { return 0; }
int os_poll(pollfd*, nfds_t, int) { return 0; }
int os_ioctl(int, unsigned long, void* arg) { return copy_text(static_cast<ifreq*>(arg)->ifr_name, "lan" + std::to_string(static_cast<ifreq*>(arg)->ifr_ifindex)), 0; }
ssize_t os_recvfrom(int, void* buf, size_t, int, sockaddr*, socklen_t*) { return std::memcpy(buf, &answer, answer.h.nlmsg_len), answer.h.nlmsg_len; }
// The datagram makes the kernel ask for the address; a question about it
// gets the route, on the link out of device 2, or the entry there.
ssize_t os_sendto(int fd, const void* buf, size_t len, int, const sockaddr* to, socklen_t)
{
    in_addr_t a = fd == 5 ? reinterpret_cast<const sockaddr_in*>(to)->sin_addr.s_addr : 0;
    if (fd == 5)
        return neighbours.emplace(a, a == live ? NUD_REACHABLE : NUD_INCOMPLETE), 0;
    std::memcpy(&a, static_cast<const char*>(buf) + len - sizeof a, sizeof a);  // each question ends with it
    const auto* q = static_cast<const nlmsghdr*>(buf);
    answer.h = {NLMSG_LENGTH(sizeof answer.route), RTM_NEWROUTE, 0, q->nlmsg_seq, 0};
    answer.route = {{AF_INET, 32, 0, 0, 0, 0, 0, RTN_UNICAST, 0}, {8, RTA_OIF}, 2, {8, a == routed ? RTA_GATEWAY : RTA_UNSPEC}, a};
    bool known = neighbours.count(a) && static_cast<const ndmsg*>(NLMSG_DATA(q))->ndm_ifindex == 2;
    if (q->nlmsg_type == RTM_GETNEIGH && known)
        answer.h.nlmsg_type = RTM_NEWNEIGH, answer.entry = {AF_INET, 0, 0, 2, neighbours[a], 0, 0};
    else if (q->nlmsg_type != RTM_GETROUTE)
        answer.h.nlmsg_type = NLMSG_ERROR, answer.error = {-ENOENT, *q};
    return static_cast<ssize_t>(len);
}

TEST(ping, resolves_what_answers_and_asks_to_remove_the_entries_it_left_unresolved)
{
    static std::string removed;
    ask_neighbour_removal = [](const neighbour_removal& r) { removed += inet_ntoa({r.address}) + std::string(" on ") + r.device + ", "; };
    neighbours = {{inet_addr("10.0.0.2"), NUD_STALE}, {inet_addr("10.0.0.3"), NUD_FAILED}};
    live = inet_addr("10.0.0.6"), routed = inet_addr("10.0.0.7");
    std::string results;
    for (const char* a : {"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.6", "10.0.0.7", "10.0.0.x"})
        results += std::to_string(ping(a, 0, nullptr)) + " ";
    EXPECT_EQ(results + removed, "0 -1 -1 0 -1 -1 10.0.0.3 on lan2, 10.0.0.4 on lan2, ");
    EXPECT_EQ(sockets, 2);  // kept for the run
}

// The records an interface fills, from its first IPv4 address (a second
// must not replace it) and its link address only when that is a MAC; an
// entry with no address at all is passed over.
TEST(kernel_interfaces, fill_the_records_from_the_first_address_and_a_mac)
{
    std::list<sockaddr_in> made;
    auto inet = [&made](const char* dotted) {
        sockaddr_in& a = made.emplace_back();
        a.sin_family = AF_INET;
        inet_pton(AF_INET, dotted, &a.sin_addr);
        return reinterpret_cast<sockaddr*>(&a);
    };
    char cam[] = "camtest0", odd[] = "camtest1", bare[] = "camtest2";
    ifaddrs none{nullptr, bare, IFF_UP, nullptr, nullptr, {nullptr}, nullptr};
    sockaddr_ll eight_bytes{AF_PACKET, 0, 0, 0, 0, 8, {0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7}};
    ifaddrs odd_addr{&none, odd, 0, inet("10.1.0.2"), inet("255.255.0.0"), {inet("10.1.255.255")}, nullptr};
    ifaddrs odd_link{&odd_addr, odd, 0, reinterpret_cast<sockaddr*>(&eight_bytes), nullptr, {nullptr}, nullptr};
    ifaddrs second{&odd_link, cam, IFF_UP | IFF_BROADCAST, inet("10.0.9.2"), inet("255.255.0.0"), {inet("10.0.255.255")}, nullptr};
    ifaddrs first{&second, cam, IFF_UP | IFF_BROADCAST, inet("10.0.0.2"), inet("255.255.255.0"), {inet("10.0.0.255")}, nullptr};
    sockaddr_ll mac{AF_PACKET, 0, 0, 0, 0, 6, {0x02, 0x00, 0x5e, 0x10, 0x0a, 0xff}};
    ifaddrs link{&first, cam, IFF_UP, reinterpret_cast<sockaddr*>(&mac), nullptr, {nullptr}, nullptr};
    std::string text;
    for (const kernel_interface& k : interfaces_from(&link)) {
        NIC_INFO info;
        fill_nic_info(k, info);
        netcom_nic_dev_name_st e = dev_name_entry(k);
        t_network_netmgr_net_list list;
        add_net_list_entry(list, k);
        const t_network_netmgr_wired& w = list.wired.at(0);
        text += std::string(info.dev) + " " + info.mac + " " + info.addr + " " + info.netmask + " " + info.b_addr + ", " +
                e.name + " up " + std::to_string(e.select_flag_1) + " addr " + std::to_string(e.select_flag_2) + ", " +
                w.dev_name + " " + w.state + " " + w.ipv4_addr + "\n";
    }
    EXPECT_EQ(text, "camtest0 02:00:5e:10:0a:ff 10.0.0.2 255.255.255.0 10.0.0.255, camtest0 up 1 addr 1, camtest0 1 10.0.0.2\n"
                    "camtest1  10.1.0.2 255.255.0.0 0.0.0.0, camtest1 up 0 addr 1, camtest1 0 10.1.0.2\n");
}
