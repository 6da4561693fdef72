// Small questions to a SQLite store, shared by the store and its readers.
#pragma once

#include <chrono>
#include <string>

struct sqlite3;

// The first column of the first row as an integer, or fallback.
long long sqlite_integer(sqlite3* db, const char* sql, long long fallback);
// Runs sql; returns an empty string, or SQLite's own words for what failed.
std::string sqlite_run(sqlite3* db, const std::string& sql);
// Lets SQLite wait for another writer's lock until the deadline, no longer.
void sqlite_wait_until(sqlite3* db, std::chrono::steady_clock::time_point deadline);
