#include "host/net/ping_wait.h"

#include <linux/rtnetlink.h>

#include <algorithm>
#include <cstring>

// How often the entry is looked at again: an address on the LAN resolves
// within a millisecond or two, and each find waits for its own in turn.
static const int slice_ms = 1;

route_kind route_from_answer(const void* answer, size_t n, int* device)
{
    if (device != nullptr)
        *device = 0;
    const nlmsghdr* h = static_cast<const nlmsghdr*>(answer);
    if (!NLMSG_OK(h, static_cast<unsigned>(n)) || h->nlmsg_type != RTM_NEWROUTE ||
        h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
        return route_kind::unroutable;  // an error
    const rtmsg* r = static_cast<const rtmsg*>(NLMSG_DATA(h));
    bool gateway = false;
    int left = static_cast<int>(RTM_PAYLOAD(h));
    for (const rtattr* a = RTM_RTA(r); RTA_OK(a, left); a = RTA_NEXT(a, left)) {
        gateway = gateway || a->rta_type == RTA_GATEWAY;
        if (a->rta_type == RTA_OIF && RTA_PAYLOAD(a) >= sizeof(int) && device != nullptr)
            std::memcpy(device, RTA_DATA(a), sizeof(int));
    }
    if (r->rtm_type == RTN_LOCAL)
        return route_kind::local;
    if (r->rtm_type != RTN_UNICAST)
        return route_kind::unroutable;  // broadcast, blackhole, unreachable...
    return gateway ? route_kind::via_gateway : route_kind::on_link;
}

bool neighbour_wait::wait(route_kind route, int timeout_ms, const neighbour_watch& watch)
{
    if (route != route_kind::on_link)
        return false;
    int bound = std::max(0, std::min({per_address_ms_, timeout_ms, budget_left_ms_}));
    int64_t start = watch.now_ms();
    for (;;) {
        bool resolved = watch.resolved();
        int waited = static_cast<int>(watch.now_ms() - start);
        if (resolved || waited >= bound) {
            if (!resolved || waited > free_ms_)
                budget_left_ms_ = std::max(0, budget_left_ms_ - waited);
            return resolved;
        }
        watch.pause(std::min(slice_ms, bound - waited));
    }
}
