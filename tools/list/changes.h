// What changed between two discovery runs of a recorder.
#pragma once

#include <string>
#include <vector>

#include "rows.h"

struct source_change {
    std::string kind;  // new, back, gone, moved, port changed, replaced, model changed
    std::string recorder, mac, address, before, now;
};

// A source of a run, and whether a run before the run compared with saw it.
struct run_source {
    source_row row;
    bool seen_before = false;
};

// The changes from the earlier run to the newest, by media source (MAC
// address and model id). Every source of the earlier run that the newest
// lacks is reported once: as the one a source new at its address replaced,
// or as gone. A source that the earlier run lacks is back when a run
// before that saw it, new otherwise.
// Appended to out.
void compare_runs(const std::vector<run_source>& earlier, const std::vector<run_source>& newest,
                  std::vector<source_change>& out);
