// The kernel's view of this host's network interfaces, shared by the
// network manager's list and the network interface library.
#pragma once

#include <string>
#include <vector>

struct kernel_interface {
    std::string name;
    std::string mac;        // lower-case, colon-separated; empty when none
    std::string addr;       // first IPv4 address; empty when none
    std::string netmask;
    std::string broadcast;  // "0.0.0.0" when the interface has none
    bool up = false;
    bool loopback = false;
};

// Every interface, in the kernel's index order.
std::vector<kernel_interface> list_kernel_interfaces();

// The interface's kind from sysfs.
bool is_bridge_device(const std::string& name);
bool is_wireless_device(const std::string& name);
