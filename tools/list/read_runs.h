// What changed between two discovery runs of each recorder of a store.
#pragma once

#include "rows.h"

struct source_change {
    std::string kind;  // new, back, gone, moved, port changed, replaced, model changed
    std::string recorder, mac, address, before, now;
};

// For each recorder of the store: its newest run against the run stored
// before it, or against its last run stored that started before since (UTC,
// as the store writes it) when since is not empty; by media source (MAC
// address and model id). Every source of the earlier run that the newest
// lacks is reported once: as the one a source new at its address replaced,
// or as gone. A source that the earlier run lacks is back when a run before
// that saw it, new otherwise. Reads only those two runs' rows; appends to out.
std::string read_changes(const store_reader& store, const std::string& since, std::vector<source_change>& out);
