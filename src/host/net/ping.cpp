// The platform's ping for a generic Linux host: unless the address's
// neighbour entry is complete already, one datagram to its discard port,
// which makes the kernel resolve the address as an ICMP echo would, with no
// privilege or ping group, then a bounded wait that ends at a complete
// entry. It never starts another program.
#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "host/net/neighbour_removal.h"
#include "host/net/receive_figures.h"
#include "platform/os_calls.h"
#include "platform/platform.h"

// A camera that has just answered a Probe has asked for our address
// itself, so its entry is complete before the ping; an on-link address the
// kernel must ask for first resolves within milliseconds. The bound leaves
// room for slow embedded ARP stacks.
static const int per_address_wait_ms = 250;
// Above the slowest real resolution, far below what a liar that answers
// late would need to matter.
static const int free_wait_ms = 20;
// However many addresses never resolve (ARP off, gone, spoofed) or resolve
// late, the run waits at most 3 s for them and stores the cameras after them.
static const int run_wait_budget_ms = 3000;
// How often the entry is looked at again: an address on the LAN resolves
// within a millisecond or two, and each find waits for its own in turn.
static const int slice_ms = 1;

bool on_link_route(const void* answer, size_t n, int& device)
{
    device = 0;
    const nlmsghdr* h = static_cast<const nlmsghdr*>(answer);
    if (!NLMSG_OK(h, static_cast<unsigned>(n)) || h->nlmsg_type != RTM_NEWROUTE ||
        h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return false;  // an error
    const rtmsg* r = static_cast<const rtmsg*>(NLMSG_DATA(h));
    bool gateway = false;
    int left = static_cast<int>(RTM_PAYLOAD(h));
    for (const rtattr* a = RTM_RTA(r); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        gateway = gateway || a->rta_type == RTA_GATEWAY;
        if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(int))
            std::memcpy(&device, RTA_DATA(a), sizeof(int));
    }
    return r->rtm_type == RTN_UNICAST && !gateway;  // not local, broadcast, blackhole, unreachable...
}

bool neighbour_wait::wait(int timeout_ms, const std::function<bool()>& resolved,
                          const std::function<int64_t()>& now_ms)
{
    int bound = std::max(0, std::min({per_address_ms, timeout_ms, budget_left_ms}));
    int64_t start = now_ms();
    for (;;) {
        bool done = resolved();
        int waited = static_cast<int>(now_ms() - start);
        if (done || waited >= bound) {
            if (!done || waited > free_ms)
                budget_left_ms = std::max(0, budget_left_ms - waited);
            return done;
        }
        os_poll(nullptr, 0, std::min(slice_ms, bound - waited));
    }
}

void (*ask_neighbour_removal)(const neighbour_removal& request) = nullptr;

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
    static neighbour_wait waits{per_address_wait_ms, free_wait_ms, run_wait_budget_ms};
    if (udp < 0)
        udp = os_socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (routes < 0)
        routes = os_socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (udp < 0)
        return -1;
    int device = 0;
    bool on_link = ask_route(routes, to.sin_addr.s_addr, device);
    auto resolved = [&] {
        int state = ask_neighbour(routes, RTM_GETNEIGH, device, to.sin_addr.s_addr);
        return state > 0 && (state & (NUD_INCOMPLETE | NUD_FAILED)) == 0;
    };
    auto now_ms = [] {
        auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    };
    if (on_link && resolved())
        return 0;
    os_sendto(udp, "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    bool done = on_link && waits.wait(timeout_ms, resolved, now_ms);
    // An entry that did not complete goes again once the kernel has asked:
    // a LAN that forges thousands of sources must not fill the host's
    // neighbour table with entries only these pings made, for every read of
    // the ARP table walks all of it and a full table refuses real cameras.
    if (!done && on_link && ask_neighbour_removal != nullptr)
        ask_neighbour_removal({to.sin_addr.s_addr, device});
    return done ? 0 : -1;
}
