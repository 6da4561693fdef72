// Rows as the store keeps them: a device's facts once, and a sighting (its
// run, its facts, when) for each time a run saw it.
#pragma once

#include <chrono>
#include <optional>
#include <string>

struct sqlite3;

// Adds the rows that the query rows gives (the columns of found_pending,
// which every version's table of found media sources has too), in order of
// id, as sightings, in the caller's transaction: a run is made at its first
// row, facts at the first row that has them. keep_ids: each sighting takes
// its row's id, else the next.
std::string store_add_rows(sqlite3* db, const std::string& rows, bool keep_ids);

// Moves the finds waiting in found_pending into the sightings, in parts
// of 1000, each its own transaction, each waiting for another writer at
// most until by, if given (else as long as the connection's busy wait).
// Returns "", or why not.
std::string store_move_pending(sqlite3* db, std::optional<std::chrono::steady_clock::time_point> by = std::nullopt);
