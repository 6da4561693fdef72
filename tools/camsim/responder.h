// The simulator's network side: one socket on 0.0.0.0:3702 joined to the
// WS-Discovery group on the given interfaces; replies leave from each
// camera's own address and device.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <csignal>
#include <map>

#include <string>
#include <vector>

#include "fleet.h"

struct sim_counts {
    long probes = 0;
    long transmitter_probes = 0;
    long device_probes = 0;
    long replies = 0;
    long unprompted = 0;
    long send_errors = 0;
    long other_datagrams = 0;
    long flood = 0;
    long probes_refused = 0;
};

// One sender's share of answers: Probes counted in a fixed window.
struct sender_window {
    std::chrono::steady_clock::time_point start;
    int probes = 0;
};

// True when a Probe from this sender, now, may still be answered: 8 in 10 s
// for one sender, 64 for all of them together. Each
// answered Probe makes one datagram per simulated camera, so without a
// bound anyone who can reach the simulator could make it flood a host.
bool probe_allowed(std::map<in_addr_t, sender_window>& senders, in_addr_t from,
                   std::chrono::steady_clock::time_point now);

// Answers every Probe for duration_s seconds, or until *stop is set, then
// returns what happened. Throws std::runtime_error when the socket cannot
// be set up.
sim_counts run_responder(const sim_fleet& fleet, const std::vector<std::string>& interfaces,
                         int duration_s, unsigned seed, const volatile sig_atomic_t* stop);
