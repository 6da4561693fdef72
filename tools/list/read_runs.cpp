// The two runs that --changes compares, asked of the store with the
// indexes of runs and of each MAC address's runs, so that the rest of the
// store is never read.
#include "read_runs.h"

using run_key = std::vector<std::string>;  // run_started, run_pid; empty when there is none

// The recorder's ($1; a store of the first version has one, '') last run
// before the run given ($2, $3) and before since ($4). Centrally, the
// newest of each of its stores' runs, each read from the end of its index.
static std::string run_before(const store_reader& store, const std::vector<std::string>& params, run_key& run)
{
    std::string sql = store.central ? "SELECT l.* FROM recorders s CROSS JOIN LATERAL (SELECT r.run_started, r.run_pid"
                                      " FROM runs r WHERE r.source = s.id AND r.run_started IS NOT NULL"
                                      " AND (r.run_started, r.run_pid) < ($2, $3) AND r.run_started < $4"
                                      " ORDER BY r.run_started DESC, r.run_pid DESC LIMIT 1) l WHERE s.recorder = $1"
                                      " ORDER BY 1 DESC, 2 DESC LIMIT 1"
                                    : "SELECT run_started, run_pid FROM found_media_sources WHERE $1 = ''"
                                      " AND run_started IS NOT NULL AND (run_started, run_pid) < ($2, $3)"
                                      " AND run_started < $4 ORDER BY run_started DESC, run_pid DESC LIMIT 1";
    run.clear();
    return store.query(sql, params, [&](const result_row& r) { run = r; });
}

// A run's rows ($2, $3), each with whether a run before another ($4, $5)
// saw it: centrally, the first run of any of its facts.
static std::string rows_of_run(const store_reader& store, const std::vector<std::string>& params,
                               std::vector<run_source>& rows)
{
    std::string sql = "SELECT " + store.columns + ", EXISTS (" +
                      (store.central ? "SELECT 1 FROM facts o JOIN recorders s ON s.id = o.source"
                                       " WHERE s.recorder = $1 AND o.mac_addr = v.mac_addr AND o.model_id = v.model_id"
                                       " AND (o.first_started, o.first_pid) < ($4, $5)) FROM run_sightings v"
                                       " WHERE v.run IN (SELECT r.id FROM runs r JOIN recorders s ON s.id = r.source"
                                       " WHERE s.recorder = $1 AND r.run_started = $2 AND r.run_pid = $3)"
                                     : "SELECT 1 FROM found_media_sources o WHERE $1 = '' AND o.mac_addr = v.mac_addr"
                                       " AND o.model_id = v.model_id AND (o.run_started, o.run_pid) < ($4, $5)) FROM found_media_sources v"
                                       " WHERE v.run_started = $2 AND v.run_pid = $3") +
                      " ORDER BY v." + store.id;
    return store.query(sql, params, [&](const result_row& r) {
        rows.push_back({source_row_of(store, r), r.back() == "1" || r.back() == "t"});
    });
}

static std::string changes_of_recorder(const store_reader& store, const std::string& recorder, const std::string& since,
                                       std::vector<source_change>& out)
{
    run_key newest, earlier;
    std::string why = run_before(store, {recorder, "~", "0", "~"}, newest);  // "~" sorts after any time
    if (why.empty() && !newest.empty())
        why = run_before(store, {recorder, newest[0], newest[1], since.empty() ? "~" : since}, earlier);
    if (!why.empty() || newest.empty())
        return why;
    std::vector<run_source> before, now;
    if (!earlier.empty())
        why = rows_of_run(store, {recorder, earlier[0], earlier[1], "", "0"}, before);
    if (why.empty())
        why = rows_of_run(store, {recorder, newest[0], newest[1], earlier.empty() ? "" : earlier[0],
                                  earlier.empty() ? "0" : earlier[1]}, now);
    if (why.empty())
        compare_runs(before, now, out);
    return why;
}

// A run of a store that numbers its runs ($1), each row with whether a run
// before another ($2) saw it.
static std::string rows_of_stored_run(const store_reader& store, const std::string& run, const std::string& before,
                                      std::vector<run_source>& rows)
{
    std::string sql = "SELECT " + store.columns + ", EXISTS (SELECT 1 FROM facts o WHERE o.mac_addr = v.mac_addr"
                      " AND o.model_id = v.model_id AND o.first_run < $2) FROM found_media_sources v"
                      " WHERE v.id IN (SELECT s.id FROM runs r JOIN sightings s"
                      " ON s.id BETWEEN r.first_sighting AND r.last_sighting WHERE r.id = $1 AND s.run = r.id) ORDER BY v.id";
    return store.query(sql, {run, before}, [&](const result_row& r) {
        rows.push_back({source_row_of(store, r), r.back() == "1"});
    });
}

// The newest run stored against the one stored before it, or the last one
// stored that started before since.
static std::string changes_in_order(const store_reader& store, const std::string& since, std::vector<source_change>& out)
{
    std::string newest, earlier;
    std::string why = store.query("SELECT max(id) FROM runs", {}, [&](const result_row& r) { newest = r[0]; });
    if (why.empty() && !newest.empty())
        why = store.query("SELECT max(id) FROM runs WHERE id < $1 AND ($2 = '' OR run_started < $2)", {newest, since},
                          [&](const result_row& r) { earlier = r[0]; });
    if (!why.empty() || newest.empty())
        return why;
    std::vector<run_source> before, now;
    if (!earlier.empty())
        why = rows_of_stored_run(store, earlier, "0", before);
    if (why.empty())
        why = rows_of_stored_run(store, newest, earlier.empty() ? "0" : earlier, now);
    if (why.empty())
        compare_runs(before, now, out);
    return why;
}

std::string read_changes(const store_reader& store, const std::string& since, std::vector<source_change>& out)
{
    if (store.runs_in_order)
        return changes_in_order(store, since, out);
    std::vector<std::string> recorders;
    std::string why = store.central ? store.query("SELECT DISTINCT recorder FROM recorders ORDER BY 1", {},
                                                  [&](const result_row& r) { recorders.push_back(r[0]); })
                                    : "";
    if (!store.central)
        recorders.push_back("");
    for (std::size_t i = 0; why.empty() && i < recorders.size(); ++i)
        why = changes_of_recorder(store, recorders[i], since, out);
    return why;
}
