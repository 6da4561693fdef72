// The kernel's routes and neighbour entries by rtnetlink: the ping's
// questions, and the removal of the entries it left unresolved, which
// needs CAP_NET_ADMIN.
#pragma once

#include <netinet/in.h>
#include <net/if.h>

#include <vector>

#include "host/net/ping_wait.h"
#include "platform/records.h"

// rtnetlink answers within the sendto that asks, so nothing here waits.

// Where the kernel would send to the address (network byte order), and
// out of which device (its index, 0 when none). A kernel that does not
// answer is taken to mean on the link, so the ping's address gets the
// bounded wait rather than none.
route_kind ask_route(int fd, in_addr_t address, int& device);

// Asks for (RTM_GETNEIGH) or removes (RTM_DELNEIGH) the entry of the
// address (network byte order) on the device with the index: its state
// (NUD_...), 0 for a removal, or -1 with errno (ENOENT: there is none).
int ask_neighbour(int fd, uint16_t type, int index, in_addr_t address);

// What the discovery process's ping asks: fixed-size, so it is read whole.
struct neighbour_removal {
    in_addr_t address;      // IPv4, network byte order
    char device[IFNAMSIZ];  // zero-terminated
};

// Removes the entry of the address on the device, only when it is
// incomplete or failed and the device is one of lan_devices (the run's): 1
// when removed, 0 when there is none or it resolved, -1 with errno
// otherwise (EPERM: not a device of the run).
int remove_unresolved_neighbour(const neighbour_removal& request, const std::vector<NIC_INFO>& lan_devices);

// Where the ping hands an address it left unresolved on the link; unset,
// the entry stays. The discovery process holds no CAP_NET_ADMIN, so it
// asks the store process, which does.
extern void (*ask_neighbour_removal)(const neighbour_removal& request);
