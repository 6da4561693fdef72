// What changed between two discovery runs of a recorder.
#pragma once

#include <string>
#include <vector>

#include "rows.h"

struct source_change {
    std::string kind;  // new, back, gone, moved, replaced, model changed
    std::string recorder, mac, address, before, now;
};

// For each recorder: its newest run against the run before it, or against
// its last run that started before since (UTC, as the store writes it)
// when since is not empty. rows: every row, oldest first.
std::vector<source_change> changes_between_runs(const std::vector<source_row>& rows, const std::string& since);
