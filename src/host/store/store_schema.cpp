#include "host/store/store_schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>

#include "host/store/sqlite_query.h"
#include "host/log/utc_time.h"
#include "host/store/store_sightings.h"

// A device's facts are kept once, and again only when one changes; a run
// keeps a sighting of each device it saw: its run, its facts, and when, as
// the tail of the time's text past what it shares with the run's start
// (the whole text in found_at where the two differ in length). Runs are numbered in the order they were stored, which
// is the order they happened whatever the clock said. Forwarding goes in
// the order of the sightings' ids, so one id says how far it has gone.
static const char compact_tables[] =
    "CREATE TABLE runs (id INTEGER PRIMARY KEY, run_pid INTEGER, run_started TEXT, started_ms INTEGER,"
    " first_sighting INTEGER, last_sighting INTEGER);"
    "CREATE INDEX runs_by_process ON runs (run_pid, run_started);"
    "CREATE TABLE facts (id INTEGER PRIMARY KEY, mac_addr TEXT, ip_addr TEXT, port INTEGER, model TEXT,"
    " model_id INTEGER, brand_id INTEGER, record BLOB, first_run INTEGER, last_sighting INTEGER);"
    "CREATE INDEX facts_by_mac ON facts (mac_addr, last_sighting);"
    "CREATE TABLE sightings (id INTEGER PRIMARY KEY, run INTEGER NOT NULL, facts INTEGER NOT NULL, at TEXT,"
    " found_at TEXT);"
    "CREATE TABLE forwarding (up_to INTEGER NOT NULL); INSERT INTO forwarding VALUES (0);"
    // A find's facts, looked up by one seek however many share a MAC address.
    "CREATE INDEX facts_by_identity ON facts (mac_addr, ip_addr, port, model_id, brand_id);";

// The tables every version had, with the same columns, for the queries
// written against them.
static const char compact_views[] =
    "CREATE VIEW found_media_sources AS SELECT s.id AS id, coalesce(s.found_at,"
    " substr(r.run_started, 1, length(r.run_started) - length(s.at)) || s.at) AS found_at,"
    " r.run_pid AS run_pid, f.model_id AS model_id, f.model AS model, f.ip_addr AS ip_addr, f.mac_addr AS mac_addr,"
    " f.brand_id AS brand_id, f.port AS port, f.record AS record, r.run_started AS run_started,"
    " s.id <= (SELECT up_to FROM forwarding) AS forwarded"
    " FROM sightings s JOIN runs r ON r.id = s.run JOIN facts f ON f.id = s.facts;"
    "CREATE VIEW media_sources AS SELECT * FROM found_media_sources"
    " WHERE id IN (SELECT max(last_sighting) FROM facts GROUP BY mac_addr);";

// Finds wait in found_pending until the store is at this version, and each
// run's outcome is kept: any version takes both at once, so a run never
// waits for an upgrade.
static const char any_version_tables[] =
    "CREATE TABLE IF NOT EXISTS found_pending (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER,"
    " model_id INTEGER, model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB,"
    " run_started TEXT);"
    "CREATE TABLE IF NOT EXISTS run_outcomes (started TEXT, seconds REAL, datagrams INTEGER, drops INTEGER,"
    " queue_bytes INTEGER, found INTEGER, stored INTEGER, no_mac INTEGER, refused INTEGER, forwarded INTEGER,"
    " cut_short TEXT);";

// A first-version run lasts about 62 s: the worker's 60, its last receive
// wait and the pause. A process id comes back only much later.
static const long long first_version_run_ms = 70 * 1000;

int store_version_of(sqlite3* db, std::string& why)
{
    static const std::string sql =
        "SELECT CASE WHEN NOT EXISTS (SELECT 1 FROM sqlite_master WHERE name = 'found_media_sources') THEN -1"
        " WHEN user_version >= " + std::to_string(store_version) + " THEN user_version ELSE columns END"
        " FROM pragma_user_version, (SELECT count(*) AS columns FROM pragma_table_info('found_media_sources')"
        " WHERE name IN ('run_started', 'forwarded'))";
    long long version = sqlite_integer(db, sql.c_str(), -2);
    if (version == -2)
        why = sqlite3_errmsg(db);
    return static_cast<int>(version);
}

std::string store_create(sqlite3* db)
{
    std::string why;
    int version = store_version_of(db, why);
    if (!why.empty())
        return why;
    if (version < 0)
        return sqlite_run(db, std::string("BEGIN IMMEDIATE;") + compact_tables + compact_views +
                                  any_version_tables + "PRAGMA user_version = 4; COMMIT");
    return sqlite_run(db, any_version_tables);
}

// Every run in the order stored, how far forwarding went, and each row as
// a sighting that keeps its id and its time's very text; then the views
// take the old table's name.
static std::string make_compact(sqlite3* db, int version)
{
    std::string why = sqlite_run(db, std::string(compact_tables) +
                                         (version < 2 ? "" : "UPDATE forwarding SET up_to = coalesce((SELECT min(id)"
                                          " FROM found_media_sources WHERE forwarded = 0), (SELECT max(id) + 1 FROM"
                                          " found_media_sources), 1) - 1"));
    if (why.empty())
        why = store_add_rows(db, "SELECT * FROM main.found_media_sources", true);
    if (why.empty())
        why = sqlite_run(db, std::string("DROP VIEW IF EXISTS media_sources; DROP TABLE found_media_sources;") +
                                 compact_views + any_version_tables + "PRAGMA user_version = 4");
    return why;
}

// A run's rows share its process id and follow each other by less than a
// run's length; each row takes the time of its run's first row as the
// run's start. A row whose time is not one (NULL, say) joins the rows of its
// process that are no time either.
static std::string group_first_version_runs(sqlite3* db)
{
    return sqlite_run(db,
            "ALTER TABLE found_media_sources ADD COLUMN run_started TEXT;"
            " UPDATE found_media_sources SET run_started = g.started FROM (SELECT id, first_value(at) OVER"
            " (PARTITION BY run ORDER BY at, id) AS started FROM (SELECT id, at, sum(new) OVER (ORDER BY run_pid, at, id)"
            " AS run FROM (SELECT id, at, run_pid, lag(run_pid) OVER w IS NOT run_pid OR (lag(ms) OVER w IS NULL) != (ms IS"
            " NULL) OR ms - lag(ms) OVER w > " + std::to_string(first_version_run_ms) + " AS new FROM (SELECT id, run_pid,"
            " coalesce(found_at, '') AS at, julianday(found_at) * 86400000 AS ms FROM found_media_sources)"
            " WINDOW w AS (ORDER BY run_pid, at, id)))) g WHERE found_media_sources.id = g.id");
}

static std::string upgrade_step(sqlite3* db, int version, const std::function<void(const std::string&)>& say)
{
    long long rows = sqlite_integer(db, "SELECT count(*) FROM found_media_sources", 0);
    if (version == 0) {
        say("version 0 to 1: grouping " + std::to_string(rows) + " rows into runs");
        return group_first_version_runs(db);
    }
    say("version " + std::to_string(version) + " to " + std::to_string(store_version) + ": " + std::to_string(rows) +
        " rows made compact");
    return make_compact(db, version);
}

std::string store_upgrade(sqlite3* db, const std::function<void(const std::string&)>& say)
{
    for (;;) {
        std::string why = sqlite_run(db, "BEGIN IMMEDIATE");
        int version = why.empty() ? store_version_of(db, why) : -1;
        if (why.empty() && version < 0)
            why = "no store of onvif_camscout in it";
        else if (why.empty() && version > store_version)
            why = "made by a later version of onvif_camscout (" + std::to_string(version) + ")";
        else if (why.empty() && version < store_version)
            why = upgrade_step(db, version, say);
        if (why.empty())
            why = sqlite_run(db, "COMMIT");
        if (!why.empty()) {
            sqlite_run(db, "ROLLBACK");
            return why;
        }
        if (version == store_version)
            return store_move_pending(db);
    }
}

// Free pages are kept for the next runs' rows up to an eighth of the file.
static std::string return_free_pages(sqlite3* db)
{
    long long free_pages = sqlite_integer(db, "PRAGMA freelist_count", 0);
    long long pages = sqlite_integer(db, "PRAGMA page_count", 0);
    if (sqlite_integer(db, "PRAGMA auto_vacuum", 0) != 2 || free_pages <= pages / 8)
        return "";
    return sqlite_run(db, "PRAGMA incremental_vacuum(" + std::to_string(free_pages - pages / 16) + ")");
}

// The last run stored before the first stored that started within keep_ms
// before now: runs go in the order stored, so one stamped in the past (a
// clock not yet set) takes none stored after it along, and one stamped
// ahead holds none back. 0 when the clock is wrong (see store_expire); this
// run's own start, being the clock, says nothing of it.
static long long last_run_to_expire(sqlite3* db, long long now_ms, long long keep_ms, long long this_run_pid)
{
    long long none = std::numeric_limits<long long>::min();
    std::string pid = std::to_string(this_run_pid), now = std::to_string(now_ms);
    long long newest = sqlite_integer(db, ("SELECT started_ms FROM runs WHERE started_ms IS NOT NULL AND id < coalesce("
                                           "(SELECT max(id) FROM runs WHERE run_pid = " + pid + "), 1 << 62)"
                                           " ORDER BY id DESC LIMIT 1").c_str(), none);
    if (newest == none || now_ms < newest || now_ms - newest > keep_ms)
        return 0;
    return sqlite_integer(db, ("SELECT coalesce(min(id) - 1, 0) FROM runs WHERE started_ms BETWEEN " +
                               std::to_string(now_ms - keep_ms) + " AND " + now).c_str(), 0);
}

long long store_expire(sqlite3* db, long long now_ms, long long keep_ms, bool keep_unforwarded,
                       long long this_run_pid, std::chrono::steady_clock::time_point deadline,
                       std::string& why)
{
    long long run = last_run_to_expire(db, now_ms, keep_ms, this_run_pid);
    if (run == 0)
        return 0;
    std::string last_run = std::to_string(run);
    std::string newest = "SELECT coalesce(max(last_sighting), 0) FROM runs WHERE id <= " + last_run;
    long long up_to = sqlite_integer(db, newest.c_str(), 0);
    if (keep_unforwarded)
        up_to = std::min(up_to, sqlite_integer(db, "SELECT up_to FROM forwarding", 0));
    // The sightings of the runs up to run, but not a facts' newest sighting,
    // nor one past up_to, a part at a time.
    std::string part = "BEGIN IMMEDIATE; DELETE FROM sightings WHERE id IN (SELECT id FROM sightings WHERE id <= " +
                       std::to_string(up_to) + " AND run <= " + last_run + " AND id NOT IN (SELECT last_sighting"
                       " FROM facts WHERE last_sighting IS NOT NULL) LIMIT 5000); COMMIT";
    long long deleted = 0;
    int chunk = 0;
    do {
        sqlite_wait_until(db, deadline);
        why = sqlite_run(db, part);
        chunk = why.empty() ? sqlite3_changes(db) : 0;
        deleted += chunk;
        if (!why.empty())
            sqlite_run(db, "ROLLBACK");
    } while (why.empty() && chunk == 5000 && std::chrono::steady_clock::now() < deadline);
    if (why.empty() && chunk < 5000)  // then the runs whose sightings have all gone
        why = sqlite_run(db, "DELETE FROM runs WHERE id <= " + last_run + " AND NOT EXISTS (SELECT 1 FROM sightings s"
                                 " WHERE s.id BETWEEN runs.first_sighting AND runs.last_sighting AND s.run = runs.id);"
                                 " DELETE FROM run_outcomes WHERE started < '" + format_utc(now_ms - keep_ms) + "'");
    if (why.empty() && deleted > 0)
        why = return_free_pages(db);
    return deleted;
}
