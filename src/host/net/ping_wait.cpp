#include "host/net/ping_wait.h"

#include <linux/rtnetlink.h>

#include <algorithm>

// How often the entry is looked at again while nothing came.
static const int slice_ms = 5;

route_kind route_from_lookup(bool answered, unsigned char route_type, bool has_gateway)
{
    if (!answered)
        return route_kind::unroutable;
    if (route_type == RTN_LOCAL)
        return route_kind::local;
    if (route_type != RTN_UNICAST)
        return route_kind::unroutable;  // broadcast, blackhole, unreachable...
    return has_gateway ? route_kind::via_gateway : route_kind::on_link;
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
