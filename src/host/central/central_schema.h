// The central schema: what its owner makes (onvif_camscout_list --central
// --setup), its version, and the one statement a recorder writes it with.
#pragma once

#include <cstddef>
#include <string>

// The version that this code makes, reads and writes.
constexpr int central_schema_version = 2;

// Makes the schema, or migrates it from any earlier version, in one
// transaction.
std::string central_setup_sql();

// The insert of rows found media sources, central_columns parameters each,
// in one statement; a row already there is left as it is.
constexpr int central_columns = 14;
std::string central_insert_sql(std::size_t rows);
