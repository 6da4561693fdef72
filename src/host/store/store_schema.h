// The store's tables, its versions, how an earlier version becomes this
// one, and how old rows go. Every function works on an open connection, so
// that tests can use a store in memory.
#pragma once

#include <chrono>
#include <functional>
#include <string>

struct sqlite3;

// -1: no store yet; 0: the first version; 1: with runs; 2: with
// forwarding; 4: compact, this one; past that, a later release's.
constexpr int store_version = 4;
int store_version_of(sqlite3* db, std::string& why);

// Makes this version's tables in a store that has none yet, and in any
// store the table where finds wait until it is at this version and that of
// the runs' outcomes. "" or why.
std::string store_create(sqlite3* db);

// Brings a store of an earlier version to this one, one transaction per
// step, so that an interrupted upgrade leaves the store as it was before
// its step and a second one goes on from there; then moves the finds that
// wait into it. say is told each step as it begins. "" or why.
std::string store_upgrade(sqlite3* db, const std::function<void(const std::string&)>& say);

// Deletes, in short transactions until the deadline (or a busy store), the
// sightings of the runs stored before the first one stored that started
// within keep_ms before now_ms, but each facts' newest sighting and, with
// keep_unforwarded, those not yet forwarded; then the runs left empty, the
// outcomes of runs started before that span, and free pages past an eighth
// of the file. Nothing when the newest run stored before this run (the
// newest of this_run_pid, whose finds may be stored already) started after
// now_ms or more than keep_ms before it: the clock is wrong, or nothing ran
// for that long. Returns the sightings deleted; why says what failed.
long long store_expire(sqlite3* db, long long now_ms, long long keep_ms, bool keep_unforwarded,
                       long long this_run_pid, std::chrono::steady_clock::time_point deadline,
                       std::string& why);
