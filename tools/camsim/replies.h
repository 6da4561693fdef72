// The datagrams that a simulated camera sends.
#pragma once

#include <string>

#include "fleet.h"

// The camera's ProbeMatches answer to the Probe with message_id.
std::string probe_match_text(const sim_camera& camera, const std::string& relates_to);
// One unprompted datagram of the kind: hello, empty, not_probe_match, oversized.
std::string unprompted_text(const sim_camera& camera, const std::string& kind);
