#pragma once

#include <vector>

#include "platform/records.h"

// Interfaces to probe on, collected before the fork and only read after it.
extern std::vector<NIC_INFO> in_lan_list;

// Appends to in_lan_list every interface of the network manager's list that
// is up, configured and has an address and a broadcast address: wired
// entries first, then wireless, then bridges, each in the list's order.
void collect_in_lan_list(t_network_netmgr_net_list& net_list);
