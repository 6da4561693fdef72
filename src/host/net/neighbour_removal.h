// The kernel's routes and neighbour entries by rtnetlink, which answers
// within the sendto that asks, so nothing here waits: the ping's questions
// and what it makes of the answers (in ping.cpp, where tests reach it
// without root or a network), and the removal of the entries it left
// unresolved, which needs CAP_NET_ADMIN.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>

// Whether the kernel's answer to an RTM_GETROUTE question, n bytes aligned
// as an nlmsghdr, is a unicast route on the link: only there can the
// address itself ever get a neighbour entry. An error, or anything but a
// whole route, is none. The device the route goes out of, by index, goes
// to device; 0 when the answer names none.
bool on_link_route(const void* answer, size_t n, int& device);

// on_link_route's question asked of the kernel for the address (network
// byte order). A kernel that does not answer is taken to mean on the link,
// so the ping's address gets the bounded wait rather than none.
bool ask_route(int fd, in_addr_t address, int& device);

// Asks for (RTM_GETNEIGH) or removes (RTM_DELNEIGH) the entry of the
// address (network byte order) on the device with the index: its state
// (NUD_...), 0 for a removal, or -1 with errno (ENOENT: there is none).
int ask_neighbour(int fd, uint16_t type, int index, in_addr_t address);

// What the discovery process's ping asks: fixed-size, so it is read whole.
struct neighbour_removal {
    in_addr_t address;  // IPv4, network byte order
    int device;         // the kernel's index
};

// Removes the entry of the address on the device, only when it is
// incomplete or failed and the device is one of the run's LAN devices (up,
// with an IPv4 and a broadcast address, as the host lists them at the
// first request): 1 when removed, 0 when there is none or it resolved, -1
// with errno otherwise (EPERM: not a device of the run).
int remove_unresolved_neighbour(const neighbour_removal& request);

// Where the ping hands an address it left unresolved on the link; unset,
// the entry stays. The discovery process holds no CAP_NET_ADMIN, so it
// asks the store process, which does.
extern void (*ask_neighbour_removal)(const neighbour_removal& request);

// The waits for neighbour entries of one process: each at most
// per_address_ms, taken from one budget for the run unless it resolved
// within free_ms, as real cameras do (a liar that answers late pays as one
// that never answers), and none once the budget is spent.
struct neighbour_wait {
    int per_address_ms, free_ms, budget_left_ms;
    // True when the entry became complete, as resolved tells, on the
    // monotonic clock now_ms; between looks it pauses in os_poll.
    bool wait(int timeout_ms, const std::function<bool()>& resolved, const std::function<int64_t()>& now_ms);
};
