#include "changes.h"

#include <map>
#include <set>

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

void compare_runs(const std::vector<run_source>& earlier, const std::vector<run_source>& newest,
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
