// The store's tables, its versions, how each version becomes the next, and
// how old rows go. Every function works on an open connection, so that
// tests can use a store in memory.
#pragma once

#include <chrono>
#include <string>

struct sqlite3;

// Brings the store at db to this version: creates it, or migrates it step
// by step, each step one transaction, so that a stopped or failed set-up
// leaves the store as it was before that step. The version is read from
// the tables themselves. A store that other writers keep busy past the
// deadline is reported as busy. An older store is made compact in parts
// of part_rows rows, each committed; past the deadline the set-up stops
// after its part and says "still migrating, N of M rows done", and a next
// call goes on from there. Returns an empty string once the store is at
// this version, or why not.
std::string store_set_up(sqlite3* db, std::chrono::steady_clock::time_point deadline, long long part_rows = 200000);

// Where finds wait until the store is at this version; made at every open.
extern const char store_pending_table[];

// Gives each first-version row (no run_started yet) its run's start: the
// rows of one run_pid, in order of found_at, from a run's first row to one
// run's length after it; a later row of the same run_pid starts a new run,
// since process ids come back. One pass, in the transaction of the caller
// (the list tool's own copy of a store).
std::string group_first_version_runs(sqlite3* db);

// The indexes that the list tool's questions need, on whatever
// found_media_sources names (the list tool's own copy of a first-version store).
extern const char store_run_indexes[];

// Deletes, in short transactions until the deadline (or a busy store), the
// sightings of the runs stored before the first one that started keep_ms
// before now_ms or later, except each facts' newest sighting and, with
// keep_unforwarded, those not yet forwarded; then the runs left empty.
// Nothing when the newest run stored before this run (the newest of
// this_run_pid, whose finds may be stored already) started after now_ms or
// more than keep_ms before it: the clock is wrong, or nothing ran for that
// long. Then returns free pages beyond an eighth of the file to the file
// system. Returns the sightings deleted; why says what failed.
long long store_expire(sqlite3* db, long long now_ms, long long keep_ms, bool keep_unforwarded,
                       long long this_run_pid, std::chrono::steady_clock::time_point deadline,
                       std::string& why);
