// The kernel's view of this host's network interfaces, shared by the
// network manager's list and the network interface library.
#pragma once

#include <string>
#include <vector>

#include "platform/records.h"

struct kernel_interface {
    std::string name;
    std::string mac;        // lower-case, colon-separated; empty when none
    std::string addr;       // first IPv4 address; empty when none
    std::string netmask;
    std::string broadcast = "0.0.0.0";  // kept when the interface has none
    bool up = false;
    bool loopback = false;
};

// Every interface, in the kernel's index order, from its first IPv4
// address and its link address when that is a MAC.
std::vector<kernel_interface> list_kernel_interfaces();

void fill_nic_info(const kernel_interface& k, NIC_INFO& info);
