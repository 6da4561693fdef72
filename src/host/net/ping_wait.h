// The ping's decisions, apart from its sockets so that tests reach them
// without root or a network: where the kernel would send, and how long one
// address and the whole run may wait for a neighbour entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// How the kernel would send to an address. Only on the link can the
// address itself ever get a neighbour entry.
enum class route_kind { on_link, via_gateway, local, unroutable };

// The kernel's answer to an RTM_GETROUTE question, n bytes aligned as an
// nlmsghdr: an error, or anything but a whole route, is no route. The
// device the route goes out of, by index, goes to device when asked for;
// 0 when the answer names none.
route_kind route_from_answer(const void* answer, size_t n, int* device = nullptr);

// What the wait asks of the host.
struct neighbour_watch {
    std::function<bool()> resolved;       // the entry is complete
    std::function<void(int)> pause;       // lets up to this many ms pass
    std::function<int64_t()> now_ms;      // a monotonic clock
};

// The waiting for neighbour entries of one process. Each address waits at
// most per_address_ms, and every wait is taken from one budget for the whole
// run unless it resolved within free_ms, as real cameras do: a liar that
// answers late pays as one that never answers. Once the budget is spent an
// address waits no more.
class neighbour_wait {
public:
    neighbour_wait(int per_address_ms, int free_ms, int budget_ms)
        : per_address_ms_(per_address_ms), free_ms_(free_ms), budget_left_ms_(budget_ms) {}
    // True when the entry became complete; off the link it returns at once.
    bool wait(route_kind route, int timeout_ms, const neighbour_watch& watch);
    int budget_left_ms() const { return budget_left_ms_; }

private:
    int per_address_ms_;
    int free_ms_;
    int budget_left_ms_;
};
