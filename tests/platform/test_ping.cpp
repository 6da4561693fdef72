// The host's ping against doubles of its socket calls: what it keeps for
// the run and what it leaves in the kernel's neighbour table. A timeout of
// 0 keeps every ping from waiting.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "platform/text_field.h"

static const int icmp_fd = 5, route_fd = 6;
static std::vector<std::string> calls;         // sockets opened, device names asked, entries removed
static std::map<std::string, int> neighbours;  // address: ATF_ flags
static std::string device = "lan0";            // the name of device 2
static uint32_t route_seq = 0;

int os_socket(int domain, int, int) { return calls.push_back("socket"), domain == AF_NETLINK ? route_fd : icmp_fd; }
int os_setsockopt(int, int, int, const void*, socklen_t) { return 0; }
int os_poll(pollfd*, nfds_t, int) { return 0; }
int os_close(int) { return 0; }

ssize_t os_sendto(int fd, const void* buf, size_t len, int, const sockaddr*, socklen_t)
{
    if (fd == route_fd)
        route_seq = static_cast<const nlmsghdr*>(buf)->nlmsg_seq;
    return static_cast<ssize_t>(len);
}

// The route socket answers: on the link, out of device 2.
ssize_t os_recvfrom(int fd, void* buf, size_t, int, sockaddr*, socklen_t*)
{
    struct { nlmsghdr h; rtmsg r; rtattr a; int oif; } answer{};
    if (fd != route_fd)
        return errno = EAGAIN, -1;
    answer.h = {sizeof answer, RTM_NEWROUTE, 0, route_seq, 0};
    answer.r.rtm_type = RTN_UNICAST;
    answer.a = {RTA_LENGTH(sizeof(int)), RTA_OIF};
    answer.oif = 2;
    std::memcpy(buf, &answer, sizeof answer);
    return sizeof answer;
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
    if (found == neighbours.end())
        return errno = ENXIO, -1;
    return req->arp_flags = found->second, 0;
}

static std::vector<std::string> ping_each(std::vector<const char*> addresses)
{
    calls.clear();
    char empty[1] = "";
    for (const char* a : addresses)
        ping(a, 0, empty);
    return calls;
}

TEST(ping, keeps_its_sockets_and_device_names_and_removes_only_the_entries_it_left_incomplete)
{
    neighbours = {{"10.0.0.2", ATF_COM}, {"10.0.0.3", 0}, {"10.0.0.5", ATF_PERM}};
    EXPECT_EQ(ping_each({"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"}),
              (std::vector<std::string>{"socket", "socket", "name", "remove 10.0.0.3"}));
    device = "lan1";  // renamed: the name is asked again, once
    EXPECT_EQ(ping_each({"10.0.0.2", "10.0.0.2"}), (std::vector<std::string>{"name"}));
    EXPECT_EQ(ping_each({"10.0.0.2"}), std::vector<std::string>{});
}
