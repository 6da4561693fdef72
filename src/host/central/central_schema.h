// The central schema: what its owner makes (onvif_camscout_list --central
// --setup), its version, and the one call a recorder forwards with.
#pragma once

#include <cstddef>
#include <string>

// The version that this code makes, reads and writes.
constexpr int central_schema_version = 3;

// Makes the schema, or migrates it from any earlier version, in one
// transaction; the rows of a version before 3 are then moved by
// central_move_step_sql, a part at a time.
std::string central_setup_sql();

// One part of the move, its own transaction: returns the rows moved, 0
// once they all are.
constexpr const char* central_move_step_sql = "SELECT camscout.move_step(5000)";

// The call that forwards rows found media sources: the store's identity,
// the recorder's and its host name ($1 to $3), then central_columns
// parameters a row, as camscout.found orders them. Returns the rows that
// were not there already.
constexpr int central_forward_fixed = 3;
constexpr int central_columns = 11;
std::string central_forward_sql(std::size_t rows);
