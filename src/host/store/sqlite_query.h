// Small questions to a SQLite store, shared by the store and its readers.
#pragma once

#include <string>

struct sqlite3;

// True when sql compiles against the store: a table or column exists.
bool sqlite_prepares(sqlite3* db, const char* sql);
// The first column of the first row as an integer, or fallback.
long long sqlite_integer(sqlite3* db, const char* sql, long long fallback);

// A first-version row's run start: the first row of its process. table
// names the row being read.
std::string first_version_run_started(const std::string& table);
