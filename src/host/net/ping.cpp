// The platform's ping for a generic Linux host: unless the address's
// neighbour entry is complete already, one datagram to its discard port,
// which makes the kernel resolve the address as an ICMP echo would, with no
// privilege or ping group, then a bounded wait that ends at a complete
// entry. It never starts another program.
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/ioctl.h>

#include <chrono>

#include "host/net/neighbour_removal.h"
#include "host/net/receive_figures.h"
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

void (*ask_neighbour_removal)(const neighbour_removal& request) = nullptr;

// An entry that did not complete goes again once the kernel has asked:
// a LAN that forges thousands of sources must not fill the host's
// neighbour table with entries only these pings made, for every read of
// the ARP table walks all of it and a full table refuses real cameras.
static void forget_unresolved(int fd, in_addr_t address, int device)
{
    ifreq req{};
    req.ifr_ifindex = device;
    if (ask_neighbour_removal == nullptr || os_ioctl(fd, SIOCGIFNAME, &req) != 0)
        return;
    neighbour_removal request{address, {}};
    copy_text(request.device, field_text(req.ifr_name));
    ask_neighbour_removal(request);
}

int64_t ping_calls = 0;

int ping(const char* address, int timeout_ms, char*)
{
    ++ping_calls;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    if (address == nullptr || inet_pton(AF_INET, address, &to.sin_addr) != 1)
        return -1;
    // Kept for the whole run: a LAN that sends from thousands of addresses
    // makes thousands of pings. Only the discovery worker pings, so they
    // need no lock.
    static int udp = -1, routes = -1;
    static neighbour_wait waits(per_address_wait_ms, free_wait_ms, run_wait_budget_ms);
    if (udp < 0)
        udp = os_socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (routes < 0)
        routes = os_socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (udp < 0)
        return -1;
    int device = 0;
    route_kind route = ask_route(routes, to.sin_addr.s_addr, device);
    neighbour_watch watch{
        [&] {
            int state = ask_neighbour(routes, RTM_GETNEIGH, device, to.sin_addr.s_addr);
            return state > 0 && (state & (NUD_INCOMPLETE | NUD_FAILED)) == 0;
        },
        [](int ms) { os_poll(nullptr, 0, ms); },
        [] {
            auto now = std::chrono::steady_clock::now().time_since_epoch();
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
        }};
    if (route == route_kind::on_link && watch.resolved())
        return 0;
    os_sendto(udp, "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    bool resolved = waits.wait(route, timeout_ms, watch);
    if (!resolved && route == route_kind::on_link)
        forget_unresolved(routes, to.sin_addr.s_addr, device);
    return resolved ? 0 : -1;
}
