// The simulator's network side: one socket on 0.0.0.0:3702 joined to the
// WS-Discovery group on the given interfaces; replies leave from each
// camera's own address and device.
#pragma once

#include <csignal>
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

// Answers every Probe for duration_s seconds, or until *stop is set, then
// returns what happened. Throws std::runtime_error when the socket cannot
// be set up.
sim_counts run_responder(const sim_fleet& fleet, const std::vector<std::string>& interfaces,
                         int duration_s, unsigned seed, const volatile sig_atomic_t* stop);
