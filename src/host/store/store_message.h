// The one message of the discovery process to the store process: a found
// media source, with when and by which run it was found. Its size is fixed,
// so that the store process takes nothing it has not measured.
#pragma once

#include <cstdint>

#include "platform/records.h"

constexpr uint32_t found_message_kind = 0x53464d31;  // the only kind there is

struct found_message {
    uint32_t kind;
    uint32_t unused;      // zero
    int64_t found_at_ms;     // UTC, milliseconds since 1970
    int64_t run_pid;         // the discovery process
    int64_t run_started_ms;  // as found_at_ms; with run_pid, the run's identity
    TMediaSourceDevInfo info;
};
static_assert(sizeof(found_message) == 288);

// Why a message of size bytes is refused, or null for a found media source
// that the store may take: one of the run with run_pid and run_started_ms.
const char* found_message_refusal(const found_message& message, long size, int64_t run_pid,
                                  int64_t run_started_ms);
