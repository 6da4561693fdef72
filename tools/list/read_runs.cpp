// The two runs that --changes compares, asked of the store with the
// indexes of runs and of their sightings, so that the rest of the store is
// never read.
#include "read_runs.h"

#include <map>
#include <set>

// A source of a run, and whether a run before the run compared with saw it.
struct run_source {
    source_row row;
    bool seen_before = false;
};

static std::string model_of(const source_row& r)
{
    return r.model + " (" + std::to_string(r.model_brand) + "/" + std::to_string(r.model_no) + ")";
}

// A media source: the channels of one device share its MAC address, its
// address and its port, and differ in model id.
static std::string source_of(const source_row& r)
{
    return r.mac + '\n' + std::to_string(r.model_brand) + '/' + std::to_string(r.model_no);
}

static void compare_runs(const std::vector<run_source>& earlier, const std::vector<run_source>& newest,
                         std::vector<source_change>& out)
{
    std::map<std::string, const source_row*> before;  // a source's last row in the run
    std::map<std::string, const run_source*> now;
    for (const run_source& d : earlier)
        before[source_of(d.row)] = &d.row;
    for (const run_source& d : newest)
        now[source_of(d.row)] = &d;
    std::multimap<std::string, const source_row*> gone_at;  // earlier sources the newest run lacks, by address
    for (const auto& [source, r] : before)
        if (now.count(source) == 0)
            gone_at.insert({r->address, r});
    for (const auto& [source, d] : now) {
        const source_row& r = d->row;
        auto was = before.find(source);
        if (was != before.end()) {
            const source_row& b = *was->second;
            if (b.address != r.address)
                out.push_back({"moved", r.recorder, r.mac, r.address, b.address, r.address});
            if (b.port != r.port)
                out.push_back({"port changed", r.recorder, r.mac, r.address, std::to_string(b.port),
                               std::to_string(r.port)});
            if (b.model != r.model)
                out.push_back({"model changed", r.recorder, r.mac, r.address, model_of(b), model_of(r)});
        } else if (auto old = gone_at.find(r.address); old != gone_at.end()) {
            // The same device at its address with another model id has changed its model.
            const source_row& b = *old->second;
            if (b.mac == r.mac)
                out.push_back({"model changed", r.recorder, r.mac, r.address, model_of(b), model_of(r)});
            else
                out.push_back({"replaced", r.recorder, r.mac, r.address, b.mac, r.mac});
            gone_at.erase(old);
        } else {
            out.push_back({d->seen_before ? "back" : "new", r.recorder, r.mac, r.address, "", model_of(r)});
        }
    }
    std::set<const source_row*> gone;
    for (const auto& [address, r] : gone_at)
        gone.insert(r);
    for (const auto& [source, r] : before)
        if (gone.count(r))
            out.push_back({"gone", r->recorder, r->mac, r->address, model_of(*r), ""});
}

// The runs are taken in the order stored (centrally: in the order the
// inventory numbered them as they came), whatever their clock said.
static std::string changes_of(const store_reader& store, const std::string& recorder, const std::string& since,
                              std::vector<source_change>& out)
{
    std::string newest, earlier, last = " ORDER BY r.id DESC LIMIT 1";  // from the end of the index of runs
    std::string why = store.query(store.runs + last, {recorder}, [&](const result_row& r) { newest = r[0]; });
    if (why.empty() && !newest.empty())
        why = store.query(store.runs + " AND r.id < $2 AND ($3 = '' OR r.run_started < $3)" + last,
                          {recorder, newest, since}, [&](const result_row& r) { earlier = r[0]; });
    std::vector<run_source> before, now;
    auto rows_of = [&](const std::string& run, const std::string& stored_before, std::vector<run_source>& rows) {
        return run.empty() ? "" : store.query(store.run_rows, {run, stored_before, recorder}, [&](const result_row& r) {
            rows.push_back({source_row_of(store, r), r.back() == "1" || r.back() == "t"});
        });
    };
    if (why.empty())
        why = rows_of(earlier, "0", before);
    if (why.empty())
        why = rows_of(newest, earlier.empty() ? "0" : earlier, now);
    if (why.empty())
        compare_runs(before, now, out);
    return why;
}

std::string read_changes(const store_reader& store, const std::string& since, std::vector<source_change>& out)
{
    if (!store.central)
        return changes_of(store, "", since, out);
    std::vector<std::string> recorders;
    std::string why = store.query("SELECT DISTINCT recorder FROM recorders ORDER BY 1", {},
                                  [&](const result_row& r) { recorders.push_back(r[0]); });
    for (std::size_t i = 0; why.empty() && i < recorders.size(); ++i)
        why = changes_of(store, recorders[i], since, out);
    return why;
}
