#include "changes.h"

#include <map>
#include <set>

// One run's sources, the last row of each MAC address.
using run_sources = std::map<std::string, const source_row*>;
using run_key = std::pair<std::string, long long>;  // run_started, run_pid

static std::string model_of(const source_row& r)
{
    return r.model + " (" + std::to_string(r.model_brand) + "/" + std::to_string(r.model_no) + ")";
}

static const source_row* at_address(const run_sources& run, const std::string& address)
{
    for (const auto& [mac, r] : run)
        if (r->address == address)
            return r;
    return nullptr;
}

// The changes of one MAC address that the newest run found.
static void compare_found(const source_row& r, const run_sources& before, const run_sources& now,
                          const std::set<std::string>& seen, std::vector<source_change>& out)
{
    auto was = before.find(r.mac);
    if (was != before.end()) {
        if (was->second->address != r.address)
            out.push_back({"moved", r.recorder, r.mac, r.address, was->second->address, r.address});
        if (model_of(*was->second) != model_of(r))
            out.push_back({"model changed", r.recorder, r.mac, r.address, model_of(*was->second), model_of(r)});
        return;
    }
    // Another device at this address, and that device is gone: one change.
    const source_row* old = at_address(before, r.address);
    if (old != nullptr && now.count(old->mac) == 0)
        out.push_back({"replaced", r.recorder, r.mac, r.address, old->mac, r.mac});
    else
        out.push_back({seen.count(r.mac) ? "back" : "new", r.recorder, r.mac, r.address, "", model_of(r)});
}

static void compare_runs(const run_sources& before, const run_sources& now, const std::set<std::string>& seen,
                         std::vector<source_change>& out)
{
    for (const auto& [mac, r] : now)
        compare_found(*r, before, now, seen, out);
    for (const auto& [mac, r] : before) {
        const source_row* successor = at_address(now, r->address);
        bool replaced = successor != nullptr && before.count(successor->mac) == 0;
        if (now.count(mac) == 0 && !replaced)
            out.push_back({"gone", r->recorder, mac, r->address, model_of(*r), ""});
    }
}

// The run to compare with: the one before the newest, or the last that
// started before since; null when there is none.
static const run_sources* earlier_run(const std::map<run_key, run_sources>& runs, const std::string& since)
{
    const run_sources* found = nullptr;
    for (auto it = runs.begin(); it != std::prev(runs.end()); ++it)
        if (since.empty() || it->first.first < since)
            found = &it->second;
    return found;
}

static void changes_of_recorder(const std::vector<const source_row*>& rows, const std::string& since,
                                std::vector<source_change>& out)
{
    std::map<run_key, run_sources> runs;
    for (const source_row* r : rows)
        runs[{r->run_started, r->run_pid}][r->mac] = r;
    if (runs.empty())
        return;
    std::set<std::string> seen;  // in any run before the newest
    for (auto it = runs.begin(); it != std::prev(runs.end()); ++it)
        for (const auto& [mac, r] : it->second)
            seen.insert(mac);
    const run_sources* earlier = earlier_run(runs, since);
    compare_runs(earlier ? *earlier : run_sources{}, std::prev(runs.end())->second, seen, out);
}

std::vector<source_change> changes_between_runs(const std::vector<source_row>& rows, const std::string& since)
{
    std::map<std::string, std::vector<const source_row*>> by_recorder;
    for (const source_row& r : rows)
        by_recorder[r.recorder].push_back(&r);
    std::vector<source_change> out;
    for (const auto& [recorder, its_rows] : by_recorder)
        changes_of_recorder(its_rows, since, out);
    return out;
}
