// The local store as the store process keeps it through one run: opened
// once, the finds written as they arrive, then the run's end work.
#pragma once

#include "host/central/central_inventory.h"
#include "platform/records.h"

// One found media source as the store keeps it.
struct found_source {
    TMediaSourceDevInfo info;
    std::string found_at;  // UTC, ISO 8601 with milliseconds
    long long run_pid;
    std::string run_started;  // UTC, as found_at: with run_pid, the run's identity
};

// Opens (creating the file as needed) the store at path, ready to
// take finds whatever its version. "" or what failed and why.
std::string store_open(const std::string& path);
// Writes the finds in one transaction, all or none, into the open store's
// table where any version keeps them until the run's end; waits for
// another writer until the deadline. "" or what failed and why.
std::string store_write(const std::vector<found_source>& finds, std::chrono::steady_clock::time_point by);

// The run's end, on the open store at this version: the finds moved in, the runs
// older than the settings keep deleted, then the rows not forwarded yet
// sent to the central inventory. On an earlier version nothing of that:
// one line says how to upgrade it. Each trouble is a log line. Returns the
// rows forwarded, and "" or what was cut short.
forward_result store_end_run(long long run_pid);
// Forwards the open store's rows that the central inventory at conninfo
// does not have yet (the last of the end work).
forward_result store_forward(const std::string& conninfo);

// A run's outcome, as its row keeps it and its summary says it.
struct run_outcome {
    std::string started;  // UTC, as found_at
    double seconds;
    long long datagrams, drops, queue_bytes, found, stored, no_mac, refused, forwarded;
    std::string cut_short;  // what was, or empty
};
// Keeps the outcome in the open store. "" or why not.
std::string store_record_outcome(const run_outcome& o);
void store_close();
