// The two runs that --changes compares, asked of the store with the
// indexes of runs and of each MAC address's runs, so that the rest of the
// store is never read.
#include "read_runs.h"

using run_key = std::vector<std::string>;  // run_started, run_pid; empty when there is none

// The last run before the run given ($1, $2) and before since ($3).
static std::string run_before(const store_reader& store, const std::vector<std::string>& params, run_key& run)
{
    run.clear();
    return store.query("SELECT run_started, run_pid FROM found_media_sources WHERE run_started IS NOT NULL"
                       " AND (run_started, run_pid) < ($1, $2) AND run_started < $3"
                       " ORDER BY run_started DESC, run_pid DESC LIMIT 1", params, [&](const result_row& r) { run = r; });
}

// A run's rows ($1, $2), each with whether a run before another ($3, $4)
// saw its MAC address and model id.
static std::string rows_of_run(const store_reader& store, const std::vector<std::string>& params,
                               std::vector<run_source>& rows)
{
    return store.query("SELECT " + store.columns + ", EXISTS (SELECT 1 FROM found_media_sources o"
                       " WHERE o.mac_addr = v.mac_addr AND o.model_id = v.model_id"
                       " AND (o.run_started, o.run_pid) < ($3, $4)) FROM found_media_sources v"
                       " WHERE v.run_started = $1 AND v.run_pid = $2 ORDER BY v." + store.id, params,
                       [&](const result_row& r) { rows.push_back({source_row_of(store, r), r.back() == "1"}); });
}

static std::string changes_of_recorder(const store_reader& store, const std::string& since, std::vector<source_change>& out)
{
    run_key newest, earlier;
    std::string why = run_before(store, {"~", "0", "~"}, newest);  // "~" sorts after any time
    if (why.empty() && !newest.empty())
        why = run_before(store, {newest[0], newest[1], since.empty() ? "~" : since}, earlier);
    if (!why.empty() || newest.empty())
        return why;
    std::vector<run_source> before, now;
    if (!earlier.empty())
        why = rows_of_run(store, {earlier[0], earlier[1], "", "0"}, before);
    if (why.empty())
        why = rows_of_run(store, {newest[0], newest[1], earlier.empty() ? "" : earlier[0],
                                  earlier.empty() ? "0" : earlier[1]}, now);
    if (why.empty())
        compare_runs(before, now, out);
    return why;
}

// A run of a store that numbers its runs ($1), each row with whether a run
// before another ($2) saw its MAC address and model id; centrally, a run of
// recorder $3, whose facts' first runs are found by their start.
static std::string rows_of_stored_run(const store_reader& store, const std::string& recorder, const std::string& run,
                                      const std::string& before, std::vector<run_source>& rows)
{
    std::string sql = "SELECT " + store.columns + ", EXISTS (" +
                      (store.central ? "SELECT 1 FROM facts o JOIN recorders s ON s.id = o.source WHERE s.recorder = $3"
                                       " AND o.mac_addr = v.mac_addr AND o.model_id = v.model_id AND coalesce((SELECT f.id FROM runs f WHERE f.source"
                                       " = o.source AND f.run_started = o.first_started AND f.run_pid = o.first_pid), 0)"
                                       " < $2) FROM found_media_sources v WHERE v.run = $1 ORDER BY v.local_id"
                                     : "SELECT 1 FROM facts o WHERE o.mac_addr = v.mac_addr AND o.model_id = v.model_id"
                                       " AND o.first_run < $2)"
                                       " FROM found_media_sources v WHERE v.id IN (SELECT s.id FROM runs r JOIN sightings s"
                                       " ON s.id BETWEEN r.first_sighting AND r.last_sighting WHERE r.id = $1"
                                       " AND s.run = r.id) ORDER BY v.id");
    std::vector<std::string> params = {run, before};
    if (store.central)
        params.push_back(recorder);
    return store.query(sql, params, [&](const result_row& r) {
        rows.push_back({source_row_of(store, r), r.back() == "1" || r.back() == "t"});
    });
}

// The newest run stored (centrally: of the recorder, in the order the
// inventory numbered them as they came) against the one stored before it,
// or the last one stored that started before since.
static std::string changes_in_order(const store_reader& store, const std::string& recorder, const std::string& since,
                                    std::vector<source_change>& out)
{
    // From the end of the index of runs' ids, where the newest runs are.
    std::string runs = store.central ? "SELECT r.id FROM runs r WHERE r.source = ANY (ARRAY(SELECT id FROM recorders"
                                       " WHERE recorder = $1))"
                                     : "SELECT r.id FROM runs r WHERE $1 = ''";
    std::string newest, earlier, last = " ORDER BY r.id DESC LIMIT 1";
    std::string why = store.query(runs + last, {recorder}, [&](const result_row& r) { newest = r[0]; });
    if (why.empty() && !newest.empty())
        why = store.query(runs + " AND r.id < $2 AND ($3 = '' OR r.run_started < $3)" + last, {recorder, newest, since},
                          [&](const result_row& r) { earlier = r[0]; });
    if (!why.empty() || newest.empty())
        return why;
    std::vector<run_source> before, now;
    if (!earlier.empty())
        why = rows_of_stored_run(store, recorder, earlier, "0", before);
    if (why.empty())
        why = rows_of_stored_run(store, recorder, newest, earlier.empty() ? "0" : earlier, now);
    if (why.empty())
        compare_runs(before, now, out);
    return why;
}

std::string read_changes(const store_reader& store, const std::string& since, std::vector<source_change>& out)
{
    if (!store.central)
        return store.runs_in_order ? changes_in_order(store, "", since, out) : changes_of_recorder(store, since, out);
    std::vector<std::string> recorders;
    std::string why = store.query("SELECT DISTINCT recorder FROM recorders ORDER BY 1", {},
                                  [&](const result_row& r) { recorders.push_back(r[0]); });
    for (std::size_t i = 0; why.empty() && i < recorders.size(); ++i)
        why = changes_in_order(store, recorders[i], since, out);
    return why;
}
