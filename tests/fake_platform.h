// Test doubles of the platform and of the operating-system seam: they record
// every call and answer with scripted results. reset() before each test.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/records.h"

namespace fake {

struct sockopt_call {
    int fd, level, name;
    std::string value;
};

struct sent_datagram {
    int fd;
    std::string payload;
    sockaddr_in to;
    socklen_t to_len;
};

struct datagram {
    uint32_t source;  // network byte order
    std::string bytes;
};

struct platform_state {
    std::mutex lock;                  // the worker and the main thread both log
    std::vector<std::string> log;     // log_Debug lines, formatted
    std::vector<std::string> events;  // every call, in order, as "name" or "name:detail"

    int reentried_result = 0;
    int auth_result = 0;
    int net_list_result = 0;
    t_network_netmgr_net_list net_list;
    std::map<std::string, NIC_INFO> nics;  // netcom_NIC_Get_Info answers; others fail
    std::vector<netcom_nic_dev_name_st> dev_names;
    int dev_name_list_result = 0;
    std::vector<TMediaSourceDevInfo> stored;

    pid_t fork_result = 1;
    int socket_result = 7;
    int fail_sockopt_at = -1;  // index of the setsockopt call that fails
    int fail_send_at = -1;     // index of the sendto call that fails
    std::vector<sockopt_call> sockopts;
    std::vector<sent_datagram> sent;
    std::deque<datagram> incoming;  // what select and recvfrom hand out
    int recv_result = 0;            // non-zero: recvfrom fails with it
    std::atomic<int> selects{0};
    int last_select_nfds = -1;
    bool last_select_had_set = false;
    // Successive /proc/net/arp contents, the last one repeated; none: fopen fails.
    std::vector<std::string> arp_tables;
    int arp_opens = 0;
};

extern platform_state state;

void reset();
// The events whose name starts with prefix.
std::vector<std::string> events_named(const std::string& prefix);

NIC_INFO nic(const std::string& dev, const std::string& mac, const std::string& addr,
             const std::string& b_addr);
uint32_t addr(const char* dotted);

}  // namespace fake
