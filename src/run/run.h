// Run control: the entry sequence, the one log routine and the interfaces
// to probe on.
#pragma once

#include "platform/records.h"

// Formats like printf into a 4096-byte buffer, cutting longer output, and
// hands it to the platform logger as one line. Always returns 0.
int debug_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Interfaces to probe on, collected before the fork and only read after it.
extern std::vector<NIC_INFO> in_lan_list;

// Appends to in_lan_list each interface of the network manager's list that is up,
// configured and has an address and a broadcast address: wired, wireless, bridges.
void collect_in_lan_list(t_network_netmgr_net_list& net_list);

// One discovery run: the re-entry check, daemonising, the interface collection
// and the fork; the child runs the worker for 60 seconds. Always returns 0.
int camscout_main(int argc, char** argv);
