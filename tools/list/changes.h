// What changed between two discovery runs of a recorder.
#pragma once

#include <string>
#include <vector>

#include "rows.h"

struct source_change {
    std::string kind;  // new, back, gone, moved, replaced, model changed
    std::string recorder, mac, address, before, now;
};

// A device of the newest run, and whether a run before the run compared
// with saw its MAC address.
struct newest_device {
    source_row row;
    bool seen_before = false;
};

// The changes from the earlier run to the newest. Every device of the
// earlier run that the newest lacks is reported once: as the one a device
// new at its address replaced, or as gone. A device that the earlier run
// lacks is back when a run before that saw it, new otherwise.
std::vector<source_change> compare_runs(const std::vector<source_row>& earlier, const std::vector<newest_device>& newest);
