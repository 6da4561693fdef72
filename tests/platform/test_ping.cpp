// The host's network parts: the ping against doubles of its socket calls,
// with no wait (timeout 0), and the interfaces read from a getifaddrs list.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <list>
#include <map>
#include <set>

#include "host/net/kernel_interfaces.h"
#include "host/net/neighbour_removal.h"
#include "host/net/ping_wait.h"

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/text_field.h"

static const int icmp_fd = 5, route_fd = 6;
static std::vector<std::string> calls;         // sockets opened, device names asked, entries removed
static std::map<std::string, int> neighbours;  // address: ATF_ flags
static std::set<std::string> live;             // hosts that answer the kernel's ARP question
static std::string device = "lan0";            // the name of device 2
static in_addr_t echoed = 0;                   // where the last echo went
static bool route_asked = false;               // the last route question was well formed, about it
static uint32_t route_seq = 0;

int os_socket(int domain, int, int) { return calls.push_back("socket"), domain == AF_NETLINK ? route_fd : icmp_fd; }
int os_setsockopt(int, int, int, const void*, socklen_t) { return 0; }
int os_poll(pollfd*, nfds_t, int) { return 0; }
// Sending the echo makes the kernel ask for the address: a live host's
// entry completes, another's stays incomplete.
ssize_t os_sendto(int fd, const void* buf, size_t len, int, const sockaddr* to, socklen_t)
{
    if (fd == route_fd) {
        const route_request* q = static_cast<const route_request*>(buf);
        route_seq = q->h.nlmsg_seq;
        route_asked = len == sizeof *q && q->h.nlmsg_len == len && q->h.nlmsg_type == RTM_GETROUTE &&
                      (q->h.nlmsg_flags & NLM_F_REQUEST) && q->r.rtm_family == AF_INET && q->r.rtm_dst_len == 32 &&
                      q->a.rta_type == RTA_DST && q->a.rta_len == RTA_LENGTH(4) && q->dst == echoed;
        return static_cast<ssize_t>(len);
    }
    echoed = reinterpret_cast<const sockaddr_in*>(to)->sin_addr.s_addr;
    std::string addr = inet_ntoa(reinterpret_cast<const sockaddr_in*>(to)->sin_addr);
    neighbours.emplace(addr, live.count(addr) != 0 ? ATF_COM : 0);
    return static_cast<ssize_t>(len);
}
// The route socket answers a well-formed question: on the link, out of
// device 2; anything else gets an error.
ssize_t os_recvfrom(int fd, void* buf, size_t, int, sockaddr*, socklen_t*)
{
    struct { nlmsghdr h; rtmsg r; rtattr a; int oif; } answer{
        {sizeof answer, RTM_NEWROUTE, 0, route_seq, 0}, {AF_INET, 32, 0, 0, 0, 0, 0, RTN_UNICAST, 0}, {8, RTA_OIF}, 2};
    answer.h.nlmsg_type = route_asked ? RTM_NEWROUTE : NLMSG_ERROR;
    return fd != route_fd ? (errno = EAGAIN, -1) : (std::memcpy(buf, &answer, sizeof answer), sizeof answer);
}
int os_ioctl(int, unsigned long request, void* arg)
{
    if (request == SIOCGIFNAME)
        return calls.push_back("name"), copy_text(static_cast<ifreq*>(arg)->ifr_name, device), 0;
    arpreq* req = static_cast<arpreq*>(arg);
    std::string addr = inet_ntoa(reinterpret_cast<sockaddr_in*>(&req->arp_pa)->sin_addr);
    if (req->arp_dev != device)
        return errno = ENODEV, -1;
    auto found = neighbours.find(addr);
    return found == neighbours.end() ? (errno = ENXIO, -1) : (req->arp_flags = found->second, 0);
}

TEST(ping, resolves_what_answers_keeps_its_sockets_and_removes_the_entries_it_left_incomplete)
{
    ask_neighbour_removal = [](const neighbour_removal& r) {
        std::string addr = inet_ntoa(in_addr{r.address});
        calls.push_back("remove " + addr + (r.device == device ? "" : " elsewhere"));
        neighbours.erase(addr);
    };
    auto ping_each = [empty = std::string()](std::vector<const char*> addresses) mutable {
        calls.clear();
        std::string results = "results";
        for (const char* a : addresses)
            results += " " + std::to_string(ping(a, 0, empty.data()));
        calls.push_back(results);
        return calls;
    };
    neighbours = {{"10.0.0.2", ATF_COM}, {"10.0.0.3", 0}, {"10.0.0.5", ATF_PERM}};
    live = {"10.0.0.6"};
    EXPECT_EQ(ping_each({"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5", "10.0.0.6"}),
              (std::vector<std::string>{"socket", "socket", "name", "remove 10.0.0.3", "remove 10.0.0.4",
                                        "results 0 -1 -1 -1 0"}));
    device = "lan1";  // renamed: the name is asked again, once
    EXPECT_EQ(ping_each({"10.0.0.2", "10.0.0.2"}), (std::vector<std::string>{"name", "results -1 0"}));
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
