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

#include <errno.h>

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "host/net/neighbour_removal.h"
#include "host/net/receive_figures.h"
#include "host/net/ping_reply.h"
#include "host/net/ping_wait.h"
#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/text_field.h"

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

// Kept for the whole run, as the route socket and the device names are:
// a LAN that sends from thousands of addresses makes thousands of pings.
struct ping_socket {
    int fd = -1;
    bool raw = false;   // replies carry the IP header
    bool icmp = true;   // false: a UDP datagram stands in for the echo
};

// ICMP_FILTER of <linux/icmp.h>, whose icmphdr clashes with the C library's.
static const int icmp_filter_option = 1;

static void open_ping_socket(ping_socket& s)
{
    s.fd = os_socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    s.raw = s.fd >= 0;
    s.icmp = true;
    if (s.raw) {
        // A raw socket kept open would otherwise queue every ICMP message the host gets.
        uint32_t blocked = ~(1u << ICMP_ECHOREPLY);
        os_setsockopt(s.fd, SOL_RAW, icmp_filter_option, &blocked, sizeof blocked);
    }
    if (s.fd < 0)
        s.fd = os_socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd < 0) {
        s.fd = os_socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        s.icmp = false;
    }
}

// Replies that came after their ping stopped waiting are dropped unread,
// a bounded number each time.
static void drop_late_replies(const ping_socket& s)
{
    uint8_t buf[1500];
    for (int i = 0; i < 64 && os_recvfrom(s.fd, buf, sizeof buf, MSG_DONTWAIT, nullptr, nullptr) > 0; ++i) {
    }
}

static void send_echo(const ping_socket& s, const sockaddr_in& to, uint16_t id)
{
    alignas(icmphdr) uint8_t packet[16] = {};
    if (s.icmp)
        make_echo_request(packet, id);
    os_sendto(s.fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// True when the datagram read is an echo reply from the address.
static bool echo_reply_from(const ping_socket& s, in_addr_t from, uint16_t id)
{
    uint8_t buf[1500];
    sockaddr_in src{};
    socklen_t src_len = sizeof src;
    ssize_t n = os_recvfrom(s.fd, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&src),
                            &src_len);
    if (n <= 0 || !s.icmp || src.sin_addr.s_addr != from)
        return false;
    return is_echo_reply(buf, static_cast<size_t>(n), s.raw, id);
}

// Device names by index, asked of the kernel the first time a route names
// the index, and again once the name no longer works (the device was
// renamed or removed).
static std::map<int, std::string> device_names;

static const char* device_name(int fd, int index)
{
    auto known = device_names.find(index);
    if (known != device_names.end())
        return known->second.c_str();
    ifreq req{};
    req.ifr_ifindex = index;
    if (index <= 0 || os_ioctl(fd, SIOCGIFNAME, &req) != 0)
        return nullptr;
    return device_names.emplace(index, std::string(field_text(req.ifr_name))).first->second.c_str();
}

static arpreq neighbour_request(const sockaddr_in& addr, const char* dev)
{
    arpreq req{};
    std::memcpy(&req.arp_pa, &addr, sizeof addr);
    req.arp_pa.sa_family = AF_INET;
    copy_text(req.arp_dev, dev);
    return req;
}

// The flags of the kernel's neighbour entry for the address on the device
// (ATF_...), or -1 when it holds none. One hash lookup.
static int neighbour_flags(int fd, const sockaddr_in& addr, int device)
{
    const char* dev = device_name(fd, device);
    if (dev == nullptr)
        return -1;
    arpreq req = neighbour_request(addr, dev);
    if (os_ioctl(fd, SIOCGARP, &req) == 0)
        return req.arp_flags;
    if (errno == ENODEV)
        device_names.erase(device);
    return -1;
}

void (*ask_neighbour_removal)(const neighbour_removal& request) = nullptr;

// An entry that did not complete goes again once the kernel has asked:
// a LAN that forges thousands of sources must not fill the host's
// neighbour table with entries only these pings made, for every read of
// the ARP table walks all of it and a full table refuses real cameras.
static void forget_incomplete(int fd, const sockaddr_in& addr, int device)
{
    int flags = neighbour_flags(fd, addr, device);
    const char* dev = device_name(fd, device);
    if (flags < 0 || (flags & (ATF_COM | ATF_PERM)) != 0 || dev == nullptr || ask_neighbour_removal == nullptr)
        return;
    neighbour_removal request{addr.sin_addr.s_addr, {}};
    copy_text(request.device, dev);
    ask_neighbour_removal(request);
}

struct route_socket {
    int fd = -1;
    uint32_t seq = 0;
};

// Where the kernel would send to the address, and out of which device: one
// RTM_GETROUTE request. A kernel that does not answer within 100 ms is
// taken to mean on the link, so the address gets the bounded wait rather
// than none.
static route_kind kernel_route(route_socket& rs, in_addr_t addr, int& device)
{
    device = 0;
    if (rs.fd < 0) {
        rs.fd = os_socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        timeval limit = {0, 100000};
        if (rs.fd >= 0)
            os_setsockopt(rs.fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    route_request req = make_route_request(addr);
    req.h.nlmsg_seq = ++rs.seq;
    if (rs.fd < 0 || os_sendto(rs.fd, &req, sizeof req, 0, nullptr, 0) != sizeof req)
        return route_kind::on_link;
    alignas(nlmsghdr) char reply[4096];
    // An answer to an earlier question that timed out may come first.
    for (int i = 0; i < 4; ++i) {
        ssize_t n = os_recvfrom(rs.fd, reply, sizeof reply, 0, nullptr, nullptr);
        if (n < static_cast<ssize_t>(sizeof(nlmsghdr)))
            return route_kind::on_link;
        if (reinterpret_cast<const nlmsghdr*>(reply)->nlmsg_seq == rs.seq)
            return route_from_answer(reply, static_cast<size_t>(n), &device);
    }
    return route_kind::on_link;
}

static int64_t calls = 0;

int64_t ping_calls()
{
    return calls;
}

static int64_t monotonic_ms()
{
    return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count());
}

int ping(const char* address, int timeout_ms, char*)
{
    ++calls;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);  // the discard port, for the UDP stand-in
    if (address == nullptr || inet_pton(AF_INET, address, &to.sin_addr) != 1)
        return -1;
    static std::timed_mutex waits_lock;
    // Only the worker pings; another caller waits no longer than one bound.
    std::unique_lock<std::timed_mutex> hold(waits_lock, std::chrono::milliseconds(per_address_wait_ms));
    static ping_socket s;
    static route_socket routes;
    static neighbour_wait waits(per_address_wait_ms, free_wait_ms, run_wait_budget_ms);
    if (!hold.owns_lock())
        return -1;
    if (s.fd < 0)
        open_ping_socket(s);
    if (s.fd < 0)
        return -1;
    uint16_t id = static_cast<uint16_t>(getpid());
    drop_late_replies(s);
    send_echo(s, to, id);
    int device = 0;
    route_kind route = kernel_route(routes, to.sin_addr.s_addr, device);
    bool replied = false;
    neighbour_watch watch{
        [&] {
            int flags = replied ? 0 : neighbour_flags(s.fd, to, device);
            return replied || (flags > 0 && (flags & ATF_COM) != 0);
        },
        [&](int ms) {
            pollfd p = {s.fd, POLLIN, 0};
            replied = os_poll(&p, 1, ms) > 0 && echo_reply_from(s, to.sin_addr.s_addr, id);
        },
        monotonic_ms};
    bool resolved = waits.wait(route, timeout_ms, watch);
    if (!resolved && route == route_kind::on_link)
        forget_incomplete(s.fd, to, device);
    return resolved ? 0 : -1;
}
