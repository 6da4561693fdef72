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
// the tables themselves, so a store with today's tables and a stale
// user_version is recognised. A store that other writers keep busy past
// the deadline is reported as busy. A first-version store is migrated in
// parts of part_rows rows, each committed: the set-up goes on past the
// deadline while it makes progress, and one that is stopped loses at most a
// part and goes on from there next time. Returns an empty string, or why not.
std::string store_set_up(sqlite3* db, std::chrono::steady_clock::time_point deadline, long long part_rows = 200000);

// Gives each first-version row (no run_started yet) its run's start: the
// rows of one run_pid, in order of found_at, from a run's first row to one
// run's length after it; a later row of the same run_pid starts a new run,
// since process ids come back. One pass, in the transaction of the caller
// (the list tool's own copy of a store).
std::string group_first_version_runs(sqlite3* db);

// The indexes that the list tool's questions need, on whatever
// found_media_sources names (the list tool's own copy of a first-version store).
extern const char store_run_indexes[];

// Deletes, in short transactions until the deadline (or a busy store), the rows of runs that
// started before cutoff (UTC, as the store writes it), except a MAC
// address's rows in its newest run and, with keep_unforwarded, rows not yet
// forwarded. Then returns free pages beyond an eighth of the file to the
// file system. Returns the rows deleted; why says what failed.
long long store_expire(sqlite3* db, const std::string& cutoff, bool keep_unforwarded,
                       std::chrono::steady_clock::time_point deadline, std::string& why);
