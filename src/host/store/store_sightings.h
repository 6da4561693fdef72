// Rows as the store keeps them: a device's facts once, and a sighting (its
// run, its facts, when) for each time a run saw it.
#pragma once

#include <string>

struct sqlite3;

// The columns of a found media source in every version of the store, in
// the order store_add_rows reads them after the row's id.
extern const char store_row_columns[];

// Adds the rows that select gives (id, then store_row_columns), in their
// order, as sightings, in the caller's transaction: a run is made at its
// first row, facts at the first row that has them. A null id takes the next.
std::string store_add_rows(sqlite3* db, const std::string& select);

// Moves the finds waiting in found_pending into the sightings, in parts
// of 1000, each its own transaction. Returns "", or why not.
std::string store_move_pending(sqlite3* db);
