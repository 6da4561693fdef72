// Every process-wide variable of the program, in one place. The child's
// main thread and the discovery worker share only the running flag, the
// worker handle and the two descriptors; there are no locks.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/records.h"

// Interfaces to probe on, collected before the fork and only read after it.
extern std::vector<NIC_INFO> in_lan_list;

// The WS-Discovery socket: 0 before the run and after the teardown, -1 when
// it could not be created or was closed on a send error.
extern int onvif_socket;
// The highest descriptor the receive step waits on; 0 when there is none.
extern int max_fd;

// Set while the worker is to go on receiving; cleared by the stop step.
extern std::atomic<bool> recv_thread_running;
// The running worker, valid while recv_thread_held is set.
extern pthread_t recv_thread_handle;
extern std::atomic<bool> recv_thread_held;

// Responders handled in this run: source addresses, and address-and-channel
// keys of the maker's multi-channel sources. Touched by the worker only.
extern std::vector<uint64_t> seen_responder_addrs;
extern std::vector<std::string> seen_channel_keys;
