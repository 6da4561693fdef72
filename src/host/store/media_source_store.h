// Internals of the media-source store, exposed for its tests and readers.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/records.h"

// Opens (creating folders and file as needed) the store at path, ready to
// take finds at once, whatever its version. Returns an empty string on
// success, otherwise what failed and why.
std::string store_open(const std::string& path);
// Brings the open store to this version, a part at a time until the
// deadline (see store_set_up), and moves the finds waiting into it.
// Returns "" once it is current, or what is left and why.
std::string store_catch_up(std::chrono::steady_clock::time_point deadline);
// One found media source as the store keeps it.
struct found_source {
    TMediaSourceDevInfo info;
    std::string found_at;  // UTC, ISO 8601 with milliseconds
    long long run_pid;
    std::string run_started;  // UTC, as found_at: with run_pid, the run's identity
};

// Adds the rows in one transaction: all or none, kept first where any
// version of the store takes them, then moved into a current store.
// Returns an empty string, or what failed and why.
std::string store_insert(const std::vector<found_source>& sources);
// One row for info, found now by this process.
std::string store_insert(const TMediaSourceDevInfo& info);
void store_close();

// The writer of the store process: begin starts it (it opens, sets up and
// expires the store), put queues one find, and end writes what is queued
// and forwards it to the central inventory, within its own deadline. Each
// returns 0 or -1.
int store_writer_begin();
int store_writer_put(const found_source& found);
int store_writer_end();
// The most store_writer_end takes; past it the writer is cut short.
extern const std::chrono::seconds store_writer_end_limit;
