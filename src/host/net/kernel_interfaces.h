// The kernel's view of this host's network interfaces, for the platform's
// libraries on a generic Linux host and the neighbour removal.
#pragma once

#include <vector>

#include "platform/records.h"

struct kernel_interface {
    NIC_INFO nic{};  // mac and addr empty when none; b_addr "0.0.0.0" when none
    int index = 0;   // the kernel's; 0 once the interface is gone
    bool up = false;
    bool loopback = false;
};

// Every interface, in the kernel's index order, from its first IPv4
// address and its link address when that is a MAC.
std::vector<kernel_interface> list_kernel_interfaces();
