// Where WS-Discovery Probes go and where devices listen for them. The
// receive step reads it too, to drop what comes from the group itself.
#pragma once

#include <cstdint>

inline constexpr char ws_discovery_group[] = "239.255.255.250";
inline constexpr uint16_t ws_discovery_port = 3702;
