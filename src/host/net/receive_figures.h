// What the host saw of a run's LAN, for the run's outcome: counted where
// the platform's calls are made, never by the parser.
#pragma once

#include <cstdint>

struct receive_figures {
    int64_t pings;        // the responders resolved: the ping is called once for each
    int64_t datagrams;    // taken in on the worker's UDP socket
    int64_t drops;        // the kernel dropped on it, its receive queue full
    int64_t queue_bytes;  // the receive queue the kernel granted it
};

// The run's figures so far; the worker's socket's are sampled as it closes.
receive_figures run_receive_figures();
extern int64_t ping_calls;  // counted by the ping
