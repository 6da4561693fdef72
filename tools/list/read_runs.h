// The two runs of each recorder that --changes compares, read from a store.
#pragma once

#include "changes.h"

// For each recorder of the store: its newest run against the run before it,
// or against its last run that started before since (UTC, as the store
// writes it) when since is not empty. Reads only those two runs' rows.
std::string read_changes(const store_reader& store, const std::string& since, std::vector<source_change>& out);
