// The discovery worker and its WS-Discovery socket. The child's main thread
// and the worker share only the running flag, the worker handle and the two
// descriptors; there are no locks.
#pragma once

#include <atomic>

// Set while the worker is to go on receiving; cleared by the stop step.
extern std::atomic<bool> recv_thread_running;

// The WS-Discovery socket: 0 before the run and after the teardown, -1 when
// it could not be created or was closed on a send error.
extern int onvif_socket;
// The highest descriptor the receive step waits on; 0 when there is none.
extern int max_fd;

// Starts the discovery worker unless one is running; sets the running flag.
void start_recv_thread();
// Clears the running flag, waits for the worker to end, then pauses 2 s.
void stop_recv_thread();

// Sends the NetworkVideoTransmitter and Device Probes, each with a fresh
// MessageID, out of every interface of in_lan_list. On the first failure
// it logs, closes onvif_socket, sets it to -1 and sends nothing more.
void send_onvif_probe();
