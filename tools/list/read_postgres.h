// The central inventory, read as the rows of many recorders, and set up.
#pragma once

#include "rows.h"

// Opens the central inventory at a libpq connection string, its every
// wait bounded; past one, the process ends with failure_status.
std::string open_central_store(const std::string& conninfo, store_reader& store, int failure_status);

// Makes or migrates the central schema at conninfo (as the database's
// owner) with sql (central_setup_sql()), then moves an earlier version's
// rows into it a part at a time while the budget lasts. Returns "", or
// what failed.
struct set_up_progress {
    long long moved = 0;    // rows of an earlier version moved
    bool finished = false;  // none is left to move
};
std::string set_up_central(const std::string& conninfo, const std::string& sql, set_up_progress& done);
