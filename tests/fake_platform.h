// Doubles of the platform and of the operating-system seam, shared by the
// unit tests and the fuzz targets: they record every call and answer with
// scripted results. Threads run at once on the caller's thread, and the
// worker's run ends after a set number of receive steps, so nothing waits.
#pragma once

#include <netinet/in.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/records.h"

namespace fake {

struct sockopt_call {
    int level, name;
    std::string value;
};

struct sent_datagram {
    std::string payload;
    sockaddr_in to;
    socklen_t to_len;
};

struct datagram {
    uint32_t source;  // network byte order
    std::string bytes;
};

struct platform_state {
    std::vector<std::string> log;     // log_Debug lines, formatted
    std::vector<std::string> events;  // every call, in order, as "name" or "name:detail"

    int reentried_result = 0, auth_result = 0, net_list_result = 0, dev_name_list_result = 0;
    t_network_netmgr_net_list net_list;
    std::map<std::string, NIC_INFO> nics;  // netcom_NIC_Get_Info answers; others fail
    std::vector<netcom_nic_dev_name_st> dev_names;
    std::vector<TMediaSourceDevInfo> stored;

    pid_t fork_result = 1;
    int thread_result = 0;  // non-zero: thread creation fails with it
    int socket_result = 7;
    int fail_sockopt_at = -1, fail_send_at = -1;  // index of the call that fails
    std::vector<sockopt_call> sockopts;
    std::vector<sent_datagram> sent;
    std::deque<datagram> incoming;  // what select and recvfrom hand out
    int recv_result = 0;            // non-zero: recvfrom fails with it
    int selects = 0, selects_per_run = 1;  // the run ends after this many receive steps
    int last_select_nfds = -1;
    bool last_select_had_set = false;
    // Successive /proc/net/arp contents, the last one repeated; none: fopen fails.
    std::vector<std::string> arp_tables;
    int arp_opens = 0, arp_closes = 0;
    unsigned char uuids = 0;  // the n-th UUID is 16 bytes of n
};

extern platform_state state;

// Fresh doubles and every process-wide variable back at its start value.
void reset();
std::vector<std::string> events_named(const std::string& prefix);
int event_index(const std::string& event);  // -1 when it did not happen

NIC_INFO nic(const std::string& dev, const std::string& mac, const std::string& addr,
             const std::string& b_addr = "10.0.0.255");
uint32_t addr(const char* dotted);

}  // namespace fake
