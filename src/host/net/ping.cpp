// The platform's ping for a generic Linux host: one ICMP echo, then a wait
// that ends at the echo reply, at a complete neighbour entry, or at the
// timeout. It never starts another program.
#include <arpa/inet.h>
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
#include <string>
#include <vector>

#include "host/net/ping_reply.h"
#include "platform/platform.h"

// How often the neighbour table is looked at again while no reply has come.
static const int ping_slice_ms = 5;

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

static uint16_t icmp_checksum(const uint8_t* data, size_t len)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < len; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (len & 1)
        sum += static_cast<uint32_t>(data[len - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return htons(static_cast<uint16_t>(~sum));
}

static void send_echo(const ping_socket& s, const sockaddr_in& to, uint16_t id)
{
    uint8_t packet[16] = {};
    if (!s.icmp) {
        sendto(s.fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        return;
    }
    icmphdr* h = reinterpret_cast<icmphdr*>(packet);
    h->type = ICMP_ECHO;
    h->un.echo.id = htons(id);
    h->un.echo.sequence = htons(1);
    h->checksum = icmp_checksum(packet, sizeof packet);
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (neighbour_complete(s.fd, to))
            return 0;
        pollfd p = {s.fd, POLLIN, 0};
        if (poll(&p, 1, ping_slice_ms) > 0 && echo_reply_from(s, to.sin_addr.s_addr, id))
            return 0;
    }
    return -1;
}
