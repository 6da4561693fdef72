// The host's network parts: the ping against doubles of its socket calls,
// with no wait (timeout 0), and the interfaces read from a getifaddrs list.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <list>
#include <map>

#include "host/net/kernel_interfaces.h"

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/text_field.h"

static const int icmp_fd = 5, route_fd = 6;
static std::vector<std::string> calls;         // sockets opened, device names asked, entries removed
static std::map<std::string, int> neighbours;  // address: ATF_ flags
static std::string device = "lan0";            // the name of device 2
static uint32_t route_seq = 0;

int os_socket(int domain, int, int) { return calls.push_back("socket"), domain == AF_NETLINK ? route_fd : icmp_fd; }
int os_setsockopt(int, int, int, const void*, socklen_t) { return 0; }
int os_poll(pollfd*, nfds_t, int) { return 0; }
ssize_t os_sendto(int fd, const void* buf, size_t len, int, const sockaddr*, socklen_t)
{
    return route_seq = fd == route_fd ? static_cast<const nlmsghdr*>(buf)->nlmsg_seq : route_seq, len;
}
// The route socket answers: on the link, out of device 2.
ssize_t os_recvfrom(int fd, void* buf, size_t, int, sockaddr*, socklen_t*)
{
    struct { nlmsghdr h; rtmsg r; rtattr a; int oif; } answer{
        {sizeof answer, RTM_NEWROUTE, 0, route_seq, 0}, {AF_INET, 32, 0, 0, 0, 0, 0, RTN_UNICAST, 0}, {8, RTA_OIF}, 2};
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
    if (request == SIOCDARP)
        return calls.push_back("remove " + addr), neighbours.erase(addr), 0;
    auto found = neighbours.find(addr);
    return found == neighbours.end() ? (errno = ENXIO, -1) : (req->arp_flags = found->second, 0);
}

TEST(ping, keeps_its_sockets_and_device_names_and_removes_only_the_entries_it_left_incomplete)
{
    auto ping_each = [empty = std::string()](std::vector<const char*> addresses) mutable {
        calls.clear();
        for (const char* a : addresses)
            ping(a, 0, empty.data());
        return calls;
    };
    neighbours = {{"10.0.0.2", ATF_COM}, {"10.0.0.3", 0}, {"10.0.0.5", ATF_PERM}};
    EXPECT_EQ(ping_each({"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}),
              (std::vector<std::string>{"socket", "socket", "name", "remove 10.0.0.3"}));
    device = "lan1";  // renamed: the name is asked again, once
    EXPECT_EQ(ping_each({"10.0.0.2", "10.0.0.2"}), (std::vector<std::string>{"name"}));
}

// What the lab's interfaces never have: a link address that is not a MAC,
// a second IPv4 address, which must not replace the first, and an entry
// with no address at all.
TEST(kernel_interfaces, keep_the_first_address_and_only_a_mac_and_pass_over_an_entry_without_one)
{
    std::list<sockaddr_in> made;
    auto inet = [&made](const char* dotted) {
        sockaddr_in& a = made.emplace_back();
        a.sin_family = AF_INET;
        inet_pton(AF_INET, dotted, &a.sin_addr);
        return reinterpret_cast<sockaddr*>(&a);
    };
    char lan[] = "lan0", bare[] = "bare0";
    ifaddrs none{nullptr, bare, IFF_UP, nullptr, nullptr, {nullptr}, nullptr};
    ifaddrs second{&none, lan, IFF_UP | IFF_BROADCAST, inet("10.0.9.2"), inet("255.255.0.0"), {inet("10.0.255.255")}, nullptr};
    ifaddrs first{&second, lan, IFF_UP | IFF_BROADCAST, inet("10.0.0.2"), inet("255.255.255.0"), {inet("10.0.0.255")}, nullptr};
    sockaddr_ll eight_bytes{AF_PACKET, 0, 0, 0, 0, 8, {0xa0, 0xa1, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7}};
    ifaddrs link{&first, lan, IFF_UP, reinterpret_cast<sockaddr*>(&eight_bytes), nullptr, {nullptr}, nullptr};
    std::vector<kernel_interface> found = interfaces_from(&link);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].mac + "|" + found[0].addr + " " + found[0].netmask + " " + found[0].broadcast,
              "|10.0.0.2 255.255.255.0 10.0.0.255");
}
