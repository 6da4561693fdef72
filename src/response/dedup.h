#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Responders handled in this run: source addresses, and address-and-channel
// keys of the maker's multi-channel sources. Touched by the worker only.
extern std::vector<uint64_t> seen_responder_addrs;
extern std::vector<std::string> seen_channel_keys;

// True when the responder (its source address, in network byte order), or
// this channel of the maker's multi-channel source, was already handled in
// this run. False when it is new, and then it has been recorded.
bool is_known_responder(uint32_t source_addr, const char* message);
