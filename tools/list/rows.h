// What the store reader works with: found media sources as rows, each with
// the run that found it.
#pragma once

#include <string>
#include <vector>

struct source_row {
    std::string recorder;     // empty for a recorder's own store
    std::string run_started;  // with run_pid, the run's identity
    long long run_pid = 0;
    std::string address, mac, model, found_at;
    long long port = 0, brand = 0, model_brand = 0, model_no = 0;
};

// Reads a recorder's SQLite store, read-only: the newest row per MAC
// address, or every row (all), oldest first. Returns an empty string, or
// what failed.
std::string read_sqlite_rows(const std::string& path, bool all, std::vector<source_row>& rows);

// Reads the central inventory at a libpq connection string: the newest row
// per recorder and MAC address, or every row (all).
std::string read_central_rows(const std::string& conninfo, bool all, std::vector<source_row>& rows);

// Makes or migrates the central schema at conninfo (as the database's
// owner); central_setup_sql() is the whole of it. Returns "", or what failed.
std::string central_setup_sql();
std::string set_up_central(const std::string& conninfo, const std::string& sql);
