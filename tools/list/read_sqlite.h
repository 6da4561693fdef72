// A recorder's own SQLite store, read as the list tool's rows.
#pragma once

#include "rows.h"

// Opens a recorder's SQLite store, read-only. A first-version store is
// grouped into runs in a copy of its own when changes are asked for.
std::string open_sqlite_store(const std::string& path, bool changes, store_reader& store);
