#pragma once

#include "platform/records.h"

// Appends to in_lan_list every interface of the network manager's list that
// is up, configured and has an address and a broadcast address: wired
// entries first, then wireless, then bridges, each in the list's order.
void collect_in_lan_list(t_network_netmgr_net_list& net_list);
