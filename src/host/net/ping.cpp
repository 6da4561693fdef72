// The platform's ping for a generic Linux host: one ICMP echo, which makes
// the kernel resolve the address, then a bounded wait that ends at the echo
// reply or at a complete neighbour entry. It never starts another program.
#include <arpa/inet.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/net/ping_reply.h"
#include "host/net/ping_wait.h"
#include "platform/platform.h"

// A camera that has just answered a Probe has asked for our address
// itself, so its entry is complete before the ping; an on-link address the
// kernel must ask for first resolves within milliseconds. The bound leaves
// room for slow embedded ARP stacks.
static const int per_address_wait_ms = 250;
// A wait that resolves within this costs the run's budget nothing: above
// the slowest real resolution, far below what a liar that answers late
// would need to matter.
static const int free_wait_ms = 20;
// All the addresses of a run that never resolve (ARP off, gone, spoofed)
// or resolve late together wait at most this: however many there are, they
// cost the run at most 3 s of waiting, and the cameras after them are stored.
static const int run_wait_budget_ms = 3000;

struct ping_socket {
    int fd = -1;
    bool raw = false;   // replies carry the IP header
    bool icmp = true;   // false: a UDP datagram stands in for the echo
    ~ping_socket() { if (fd >= 0) close(fd); }
};

static void open_ping_socket(ping_socket& s)
{
    s.fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    s.raw = s.fd >= 0;
    if (s.fd < 0)
        s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd < 0) {
        s.fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        s.icmp = false;
    }
}

static void send_echo(const ping_socket& s, const sockaddr_in& to, uint16_t id)
{
    alignas(icmphdr) uint8_t packet[16] = {};
    if (s.icmp)
        make_echo_request(packet, id);
    sendto(s.fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// True when the datagram read is an echo reply from the address.
static bool echo_reply_from(const ping_socket& s, in_addr_t from, uint16_t id)
{
    uint8_t buf[1500];
    sockaddr_in src{};
    socklen_t src_len = sizeof src;
    ssize_t n = recvfrom(s.fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&src),
                         &src_len);
    if (n <= 0 || !s.icmp || src.sin_addr.s_addr != from)
        return false;
    return is_echo_reply(buf, static_cast<size_t>(n), s.raw, id);
}

// The host's IPv4 device names, looked up at most once a second: a ping
// per camera must not list the interfaces each time.
static std::vector<std::string> ipv4_devices()
{
    static std::vector<std::string> names;
    static std::chrono::steady_clock::time_point listed{};
    auto now = std::chrono::steady_clock::now();
    if (now - listed < std::chrono::seconds(1))
        return names;
    names.clear();
    if (struct if_nameindex* all = if_nameindex()) {
        for (struct if_nameindex* i = all; i->if_index != 0; ++i)
            names.push_back(i->if_name);
        if_freenameindex(all);
    }
    listed = now;
    return names;
}

// True when the kernel's neighbour table holds a complete entry for the
// address on any device. One hash lookup per device, where reading the
// whole table would cost time in proportion to the site's size.
static bool neighbour_complete(int fd, const sockaddr_in& addr)
{
    for (const std::string& dev : ipv4_devices()) {
        arpreq req{};
        std::memcpy(&req.arp_pa, &addr, sizeof addr);
        req.arp_pa.sa_family = AF_INET;
        std::strncpy(req.arp_dev, dev.c_str(), sizeof req.arp_dev - 1);
        if (ioctl(fd, SIOCGARP, &req) == 0 && (req.arp_flags & ATF_COM) != 0)
            return true;
    }
    return false;
}

// Where the kernel would send to the address: one RTM_GETROUTE request.
// A kernel that does not answer within 100 ms is taken to mean on the link,
// so the address gets the bounded wait rather than none.
static route_kind kernel_route(in_addr_t addr)
{
    route_request req = make_route_request(addr);
    int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return route_kind::on_link;
    timeval limit = {0, 100000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    alignas(nlmsghdr) char reply[4096];
    ssize_t n = send(fd, &req, sizeof req, 0) == sizeof req ? recv(fd, reply, sizeof reply, 0) : -1;
    close(fd);
    return n < 0 ? route_kind::on_link : route_from_answer(reply, static_cast<size_t>(n));
}

int ping(const char* address, int timeout_ms, char*)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);  // the discard port, for the UDP stand-in
    if (address == nullptr || inet_pton(AF_INET, address, &to.sin_addr) != 1)
        return -1;
    ping_socket s;
    open_ping_socket(s);
    if (s.fd < 0)
        return -1;
    uint16_t id = static_cast<uint16_t>(getpid());
    send_echo(s, to, id);
    bool replied = false;
    neighbour_watch watch{
        [&] { return replied || neighbour_complete(s.fd, to); },
        [&](int ms) {
            pollfd p = {s.fd, POLLIN, 0};
            replied = poll(&p, 1, ms) > 0 && echo_reply_from(s, to.sin_addr.s_addr, id);
        },
        [] {
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch()).count());
        }};
    static std::timed_mutex waits_lock;
    static neighbour_wait waits(per_address_wait_ms, free_wait_ms, run_wait_budget_ms);
    route_kind route = kernel_route(to.sin_addr.s_addr);
    // Only the worker pings; another caller waits no longer than one bound.
    std::unique_lock<std::timed_mutex> hold(waits_lock, std::chrono::milliseconds(per_address_wait_ms));
    return hold.owns_lock() && waits.wait(route, timeout_ms, watch) ? 0 : -1;
}
