// Doubles of the platform and the OS seam for the unit tests and the fuzz target: calls
// recorded as events, results scripted, threads run at once, the worker's run ended at its first wait.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/records.h"

namespace fake {

struct platform_state {
    std::vector<std::string> events;  // "name:detail:detail..."; log lines as "log:text"
    int auth = 0, net_list_result = 0;  // results
    pid_t fork = 1;
    int defer = 0;    // non-zero: a thread runs when it is joined, not when made
    void* (*deferred)(void*) = nullptr;
    int socket = 7;
    int fail_sockopt = -1, fail_send = -1;  // index of the call that fails
    int recv = 0;     // non-zero: recvfrom fails with it
    t_network_netmgr_net_list net_list;
    std::map<std::string, NIC_INFO> nics;  // netcom_NIC_Get_Info answers; others fail
    std::vector<netcom_nic_dev_name_st> dev_names;
    // What select and recvfrom hand out: source address (network byte order) and bytes.
    std::deque<std::pair<uint32_t, std::string>> incoming;
    std::string arp_table;  // /proc/net/arp's text; empty: fopen fails
    std::vector<TMediaSourceDevInfo> stored;
    int sockopts = 0, sends = 0, arp_opens = 0, arp_closes = 0;
    unsigned char uuids = 0;  // the first UUID's bytes are all 1, the next all 2...
};

extern platform_state state;

// Fresh doubles and every process-wide variable back at its start value.
void reset();

}  // namespace fake
