// The messages of a run's two processes. The discovery process sends each
// find, with when and by which run it was found, a neighbour entry its ping
// left unresolved, its log lines and the run's end; the store process answers
// the end once the run's finds are written. All but a line have one size.
#pragma once

#include "host/net/neighbour_removal.h"
#include "host/net/receive_figures.h"
#include "platform/records.h"

enum store_message_kind : uint32_t {
    found_message_kind = 0x53464d31,  // a found media source
    end_message_kind = 0x53464d32,    // the run has ended, with its figures: write, then answer
    written_message_kind = 0x53464d33,  // the store process's answer
    neighbour_message_kind = 0x53464d34,  // remove an entry that never resolved
    log_message_kind = 0x53464d35,        // a log line, for the store process to write
};

// What the discovery process saw of its run, sent with its end.
struct run_figures {
    receive_figures seen;
    int64_t store_calls;  // msas_store_found_media_source_onvif's
};

struct found_message {
    uint32_t kind;
    uint32_t unused;         // zero
    int64_t found_at_ms;     // UTC, milliseconds since 1970
    int64_t run_pid;         // the discovery process
    int64_t run_started_ms;  // as found_at_ms; with run_pid, the run's identity
    union {
        TMediaSourceDevInfo info;     // found
        neighbour_removal neighbour;  // neighbour
        run_figures figures;          // end
    };
};
static_assert(sizeof(found_message) == 288);

// A log line of the discovery process goes as a found_message's header
// (found_at_ms: when it was logged) followed by its text, without a zero.
constexpr std::size_t message_header_size = offsetof(found_message, info);
constexpr std::size_t log_text_max = 8191;
