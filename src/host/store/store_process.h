// The store as a process of its own. The discovery process parses what any
// device on the LAN sends, so it holds no store, no central connection and
// no password: it sends each find as one found_message over a socket pair
// to the store process, which alone opens, writes and forwards.
#pragma once

#include <cstdint>

// Serves one run on fd, the store process's end of the pair: every message
// checked, each wake-up's finds written at once; at the run's end (or the
// pair's close, or the process's deadline) the end work, then the answer.
// The run's pid and start are the fork's, never a message's.
void store_process_serve(int fd, int64_t run_pid, int64_t run_started_ms);
