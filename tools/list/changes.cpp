#include "changes.h"

#include <map>
#include <set>

static std::string model_of(const source_row& r)
{
    return r.model + " (" + std::to_string(r.model_brand) + "/" + std::to_string(r.model_no) + ")";
}

std::vector<source_change> compare_runs(const std::vector<source_row>& earlier, const std::vector<newest_device>& newest)
{
    std::map<std::string, const source_row*> before;  // a MAC address's last row in the run
    std::map<std::string, const newest_device*> now;
    for (const source_row& r : earlier)
        before[r.mac] = &r;
    for (const newest_device& d : newest)
        now[d.row.mac] = &d;
    std::multimap<std::string, const source_row*> gone_at;  // earlier devices the newest run lacks, by address
    for (const auto& [mac, r] : before)
        if (now.count(mac) == 0)
            gone_at.insert({r->address, r});
    std::vector<source_change> out;
    for (const auto& [mac, d] : now) {
        const source_row& r = d->row;
        auto was = before.find(mac);
        if (was != before.end()) {
            if (was->second->address != r.address)
                out.push_back({"moved", r.recorder, mac, r.address, was->second->address, r.address});
            if (model_of(*was->second) != model_of(r))
                out.push_back({"model changed", r.recorder, mac, r.address, model_of(*was->second), model_of(r)});
        } else if (auto old = gone_at.find(r.address); old != gone_at.end()) {
            out.push_back({"replaced", r.recorder, mac, r.address, old->second->mac, mac});
            gone_at.erase(old);
        } else {
            out.push_back({d->seen_before ? "back" : "new", r.recorder, mac, r.address, "", model_of(r)});
        }
    }
    std::set<std::string> unreported;
    for (const auto& [address, r] : gone_at)
        unreported.insert(r->mac);
    for (const std::string& mac : unreported)
        out.push_back({"gone", before[mac]->recorder, mac, before[mac]->address, model_of(*before[mac]), ""});
    return out;
}
