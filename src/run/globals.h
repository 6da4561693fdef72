// Process-wide lists of the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/records.h"

// Interfaces to probe on, collected before the fork and only read after it.
extern std::vector<NIC_INFO> in_lan_list;

// Responders handled in this run: source addresses, and address-and-channel
// keys of the maker's multi-channel sources. Touched by the worker only.
extern std::vector<uint64_t> seen_responder_addrs;
extern std::vector<std::string> seen_channel_keys;
