#pragma once

#include <cstdint>

// True when the responder (its source address, in network byte order), or
// this channel of the maker's multi-channel source, was already handled in
// this run. False when it is new, and then it has been recorded.
bool is_known_responder(uint32_t source_addr, const char* message);
