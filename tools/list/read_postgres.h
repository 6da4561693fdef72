// The central inventory, read as the rows of many recorders, set up and trimmed.
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

// As its owner: the sightings older than keep_days days removed by
// camscout.expire, in steps of a bounded number of runs, each its own
// transaction, until none is left (done) or the budget ends. trimmed: how
// many runs lost their sightings. Returns "", or what failed.
std::string expire_central(const std::string& conninfo, int keep_days, long long& trimmed, bool& done);
