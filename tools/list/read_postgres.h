// The central inventory, read as the rows of many recorders, set up and trimmed.
#pragma once

#include "read_runs.h"

// Opens the central inventory at a libpq connection string, its every
// wait bounded; past one, the process ends with failure_status. Its
// questions see one snapshot, and their rows come a page at a time.
std::string open_central_store(const std::string& conninfo, store_reader& store, int failure_status);

// Makes the central schema at conninfo (as the database's owner), or
// brings it up to date from the version it found (was: 0 for none), in one
// transaction. Returns "", or what failed.
std::string set_up_central(const std::string& conninfo, int& was);

// As its owner: the sightings older than keep_days days removed by
// camscout.expire in bounded steps until none is left (done) or the budget
// ends. trimmed: how many runs lost their sightings. Returns "" or what failed.
std::string expire_central(const std::string& conninfo, int keep_days, long long& trimmed, bool& done);
