#include "run/globals.h"

std::vector<NIC_INFO> in_lan_list;
int onvif_socket = 0;
int max_fd = 0;
std::atomic<bool> recv_thread_running{false};
pthread_t recv_thread_handle;
std::atomic<bool> recv_thread_held{false};
std::vector<uint64_t> seen_responder_addrs;
std::vector<std::string> seen_channel_keys;
