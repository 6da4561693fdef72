#pragma once

// Starts the discovery worker unless one is running; sets the running flag.
void start_recv_thread();
// Clears the running flag, waits for the worker to end, then pauses 2 s.
void stop_recv_thread();
// The worker's body: register, open the socket, probe once, receive until
// stopped, tear down.
void onvif_recv_thread();
