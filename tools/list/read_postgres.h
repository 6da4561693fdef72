// The central inventory, read as the rows of many recorders, and set up.
#pragma once

#include "rows.h"

// Opens the central inventory at a libpq connection string, its every
// wait bounded; past one, the process ends with failure_status.
std::string open_central_store(const std::string& conninfo, store_reader& store, int failure_status);

// Makes or migrates the central schema at conninfo (as the database's
// owner); central_setup_sql() is the whole of it. Returns "", or what failed.
std::string set_up_central(const std::string& conninfo, const std::string& sql);
