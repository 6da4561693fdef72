// A recorder's SQLite store read, and the two runs that --changes compares,
// asked of the store with the indexes of runs and of their sightings, so
// that the rest of the store is never read.
#include "read_runs.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdlib>
#include <map>
#include <memory>

#include "host/store/store_reading.h"
#include "host/store/store_schema.h"

source_row source_row_of(const store_reader& store, const result_row& r)
{
    long long value = 0;
    for (std::size_t i : {5, 6, 7}) {  // the whole text; SQL NULL is empty
        auto [at, failed] = std::from_chars(r[i].data(), r[i].data() + r[i].size(), value);
        if (failed != std::errc() || at != r[i].data() + r[i].size())
            throw unreadable_store("row " + r[8] + (store.central ? " of " + r[0] : "") + ": " +
                                   (i == 5 ? "port" : i == 6 ? "brand_id" : "model_id") + " holds no integer");
    }
    source_row out{r[0], r[1], r[2], r[3], r[4], r[5], r[6], std::to_string(value >> 32) + "/" +
                                                               std::to_string(value & 4294967295)};
    if (store.central) {
        out.model.clear();
        for (std::size_t i = 0; i + 1 < r[3].size(); i += 2)
            out.model += static_cast<char>(std::strtol(r[3].substr(i, 2).c_str(), nullptr, 16));  // may not be hex
    }
    return out;
}

static std::string run_query(sqlite3* db, const std::string& sql, const std::vector<std::string>& params,
                             const result_sink& each)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> finalized(st, sqlite3_finalize);  // also when each throws
    // A parameter the question does not use is left out, as its index is 0.
    for (std::size_t i = 0; rc == SQLITE_OK && i < params.size(); ++i) {
        int at = sqlite3_bind_parameter_index(st, ("$" + std::to_string(i + 1)).c_str());
        sqlite3_bind_text(st, at, params[i].data(), static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
    }
    result_row row;
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        row.resize(static_cast<std::size_t>(sqlite3_column_count(st)));
        for (std::size_t i = 0; i < row.size(); ++i) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, static_cast<int>(i)));
            row[i].assign(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(st, static_cast<int>(i))));
        }
        each(row);
        rc = SQLITE_OK;
    }
    return rc == SQLITE_DONE || rc == SQLITE_OK ? "" : sqlite3_errmsg(db);
}

std::string open_sqlite_store(const std::string& path, store_reader& store)
{
    std::string why;
    std::shared_ptr<sqlite3> db(store_open_for_reading(path, why), sqlite3_close);
    if (db && store_version_of(db.get(), why) < store_version && why.empty())
        throw unreadable_store("it is of an earlier version: bring it up to date with onvif_camscout_list --store " +
                               path + " --upgrade");
    if (!db || !why.empty())
        return why;
    store.query = [db](const std::string& sql, const std::vector<std::string>& params, const result_sink& each) {
        return run_query(db.get(), sql, params, each);
    };
    store.columns = "'', ip_addr, mac_addr, model, found_at, port, brand_id, model_id, id";
    store.order_all = "id";
    store.order_newest = "ip_addr, id";
    store.snapshot = "BEGIN";
    store.runs = "SELECT r.id FROM runs r WHERE $1 = ''";
    // A run's rows by the index of sightings, between its first and its last.
    store.run_rows = "SELECT " + store.columns + ", EXISTS (SELECT 1 FROM facts o WHERE o.mac_addr = v.mac_addr"
                     " AND o.model_id = v.model_id AND o.first_run < $2) FROM found_media_sources v WHERE v.id IN"
                     " (SELECT s.id FROM runs r JOIN sightings s ON s.id BETWEEN r.first_sighting AND r.last_sighting"
                     " WHERE r.id = $1 AND s.run = r.id) ORDER BY v.id";
    return why;
}

static std::string model_of(const source_row& r)
{
    return r.model + " (" + r.model_id + ")";
}

// A media source: the channels of one device share its MAC address, its
// address and its port, and differ in model id.
static std::string source_of(const source_row& r)
{
    return r.mac + '\n' + r.model_id;
}

static void compare_runs(const std::vector<source_row>& earlier, const std::vector<source_row>& newest,
                         std::vector<source_change>& out)
{
    std::map<std::string, const source_row*> before, now;  // a source's last row in the run
    for (const source_row& r : earlier)
        before[source_of(r)] = &r;
    for (const source_row& r : newest)
        now[source_of(r)] = &r;
    // The earlier sources the newest run lacks, by address, less those a source new at their address took the place of.
    std::multimap<std::string, const source_row*> gone_at;
    for (const auto& [source, r] : before)
        if (now.count(source) == 0)
            gone_at.insert({r->address, r});
    for (const auto& [source, row] : now) {
        const source_row& r = *row;
        auto was = before.find(source);
        if (was != before.end()) {
            const source_row& b = *was->second;
            if (b.address != r.address)
                out.push_back({"moved", r.recorder, r.mac, r.address, b.address, r.address});
            if (b.port != r.port)
                out.push_back({"port changed", r.recorder, r.mac, r.address, b.port, r.port});
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
            out.push_back({r.seen_before ? "back" : "new", r.recorder, r.mac, r.address, "", model_of(r)});
        }
    }
    for (const auto& [address, r] : gone_at)
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
    std::vector<source_row> before, now;
    auto rows_of = [&](const std::string& run, const std::string& stored_before, std::vector<source_row>& rows) {
        return run.empty() ? "" : store.query(store.run_rows, {run, stored_before, recorder}, [&](const result_row& r) {
            rows.push_back(source_row_of(store, r));
            rows.back().seen_before = r.back() == "1" || r.back() == "t";
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
