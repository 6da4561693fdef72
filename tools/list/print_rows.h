// The store's rows and the changes between runs, as the list tool prints them.
#pragma once

#include "changes.h"
#include "output.h"

// The found media sources: every row with all, else each MAC address's newest.
// An empty store is said with its name. Returns what failed.
std::string print_sources(out_format format, bool all, const store_reader& store, const std::string& name);
// Each run's outcome, newest first. Returns what failed.
std::string print_runs(out_format format, const store_reader& store, const std::string& name);
void print_changes(out_format format, const store_reader& store, const std::vector<source_change>& changes);
