#include "host/store/store_schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <optional>

#include "host/store/sqlite_query.h"
#include "host/log/utc_time.h"
#include "host/store/store_sightings.h"

static const int store_version = 4;

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
    "CREATE TABLE forwarding (up_to INTEGER NOT NULL); INSERT INTO forwarding VALUES (0);";

// A find's facts, looked up by one seek however many share a MAC address;
// a store made compact before it gets it at its next set-up.
static const char facts_lookup_index[] =
    "CREATE INDEX IF NOT EXISTS facts_by_identity ON facts (mac_addr, ip_addr, port, model_id, brand_id);";

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

// Finds wait here until the store is at this version: any version takes
// it at once, so a run's finds never wait for a migration.
const char store_pending_table[] =
    "CREATE TABLE IF NOT EXISTS found_pending (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER,"
    " model_id INTEGER, model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB,"
    " run_started TEXT)";

// A MAC address's runs (its first, its newest row) and the runs in order,
// for the list tool's copy of a first-version store.
const char store_run_indexes[] =
    "CREATE INDEX IF NOT EXISTS found_media_sources_by_mac ON found_media_sources (mac_addr, run_started, run_pid);"
    "CREATE INDEX IF NOT EXISTS found_media_sources_runs ON found_media_sources (run_started, run_pid);";

// A first-version run lasts about 62 s: the worker's 60, its last receive
// wait and the pause. A process id comes back only much later.
static const long long first_version_run_ms = 70 * 1000;

// Another writer holds the store for a moment; one that keeps it past the
// deadline makes the store busy, not missing.
static std::string failure(sqlite3* db)
{
    std::string why = sqlite3_errmsg(db);
    int rc = sqlite3_errcode(db);
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? "busy: another process keeps it locked (" + why + ")" : why;
}

// -1: no store yet; 0: the first version; 1: with runs; 2 and 3: with
// forwarding (also while they are made compact); 4: compact; past that,
// what user_version says.
static int version_found(sqlite3* db, std::string& why)
{
    static const char sql[] =
        "SELECT (SELECT count(*) FROM sqlite_master WHERE name = 'found_media_sources'),"
        " (SELECT count(*) FROM sqlite_master WHERE name = 'sightings')"
        " - (SELECT count(*) FROM sqlite_master WHERE name = 'compact_next'),"
        " (SELECT count(*) FROM pragma_table_info('found_media_sources') WHERE name IN ('run_started', 'forwarded')),"
        " (SELECT user_version FROM pragma_user_version)";
    sqlite3_stmt* st = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        long long compact = sqlite3_column_int64(st, 1), columns = sqlite3_column_int64(st, 2);
        int user = static_cast<int>(std::clamp(sqlite3_column_int64(st, 3), 0LL, 1000LL));
        version = sqlite3_column_int64(st, 0) == 0 ? -1
                  : user > store_version          ? user
                  : compact == 1                  ? store_version
                  : columns < 2                   ? static_cast<int>(columns)
                                                  : std::clamp(user, 2, 3);
    } else {
        why = failure(db);
    }
    sqlite3_finalize(st);
    return version;
}

// SQLite waits for the lock until the deadline.
static std::string begin(sqlite3* db, const char* sql, std::chrono::steady_clock::time_point deadline)
{
    sqlite_wait_until(db, deadline);
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK ? "" : failure(db);
}

static std::string find_run_starts(sqlite3* db, const std::string& runs);

// Milliseconds since 1970 of a time as the store writes it.
static std::string ms_of(const char* column)
{
    return std::string("CAST(round((julianday(") + column + ") - 2440587.5) * 86400000) AS INTEGER)";
}

// The first part: the compact tables, every run in the order stored, and
// how far forwarding has gone.
static std::string compact_begin(sqlite3* db, int version)
{
    std::string why = sqlite_run(db, std::string(compact_tables) + facts_lookup_index + "CREATE TABLE compact_next (id INTEGER);"
                                     "INSERT INTO compact_next SELECT coalesce(min(id), 1) FROM found_media_sources");
    if (why.empty() && version == 0) {
        why = sqlite_run(db, "CREATE TEMP TABLE compact_runs (run_pid INTEGER, started TEXT, first_id INTEGER,"
                             " PRIMARY KEY (run_pid, started)) WITHOUT ROWID");
        if (why.empty())
            why = find_run_starts(db, "temp.compact_runs");
        if (why.empty())
            why = sqlite_run(db, "INSERT INTO runs (run_pid, run_started, started_ms) SELECT run_pid, started, " +
                                     ms_of("started") + " FROM temp.compact_runs ORDER BY first_id;"
                                     " DROP TABLE temp.compact_runs");
    } else if (why.empty()) {
        why = sqlite_run(db, "INSERT INTO runs (run_pid, run_started, started_ms) SELECT run_pid, run_started, " +
                                 ms_of("run_started") + " FROM found_media_sources GROUP BY run_started, run_pid"
                                 " ORDER BY min(id)");
    }
    if (why.empty() && version >= 2)
        why = sqlite_run(db, "UPDATE forwarding SET up_to = coalesce((SELECT min(id) FROM found_media_sources"
                             " WHERE forwarded = 0), (SELECT max(id) + 1 FROM found_media_sources), 1) - 1");
    return why;
}

// A large store takes longer than a run may last, so it is made compact in
// parts, each committed, and a stopped one goes on from its last part:
// the runs first, then the rows in ranges of id (compact_next the next),
// each keeping its id and its time's very text; then the views take the
// old table's name and its rows go a part at a time (dropping a large
// table is one step that nothing can stop). Until the views come, readers
// read the old table.
static std::string compact_part(sqlite3* db, int version, long long part_rows, bool& done)
{
    done = false;
    if (sqlite_integer(db, "SELECT count(*) FROM sqlite_master WHERE name = 'compact_next'", 0) == 0)
        return compact_begin(db, version);
    std::string part = std::to_string(std::max(part_rows, 1LL));
    if (sqlite_integer(db, "SELECT count(*) FROM sqlite_master WHERE name = 'found_media_sources_old'", 0) != 0) {
        if (sqlite_integer(db, "SELECT count(*) FROM (SELECT 1 FROM found_media_sources_old LIMIT 1)", 0) != 0)
            return sqlite_run(db, "DELETE FROM found_media_sources_old WHERE id IN (SELECT id FROM"
                                  " found_media_sources_old ORDER BY id LIMIT " + part + ")");
        done = true;
        return sqlite_run(db, "DROP TABLE found_media_sources_old; DROP TABLE compact_next");
    }
    long long next = sqlite_integer(db, "SELECT id FROM compact_next", 0);
    if (next > sqlite_integer(db, "SELECT max(id) FROM found_media_sources", 0))
        return sqlite_run(db, "DROP VIEW IF EXISTS media_sources; DROP TABLE IF EXISTS first_version_runs;"
                              " DROP TABLE IF EXISTS first_version_next;"
                              " ALTER TABLE found_media_sources RENAME TO found_media_sources_old;" +
                              std::string(compact_views) + store_pending_table);
    std::string to = std::to_string(next + std::max(part_rows, 1LL));
    // A first-version row's run is the last start of its process at or before it.
    std::string started = version > 0 ? "run_started" : "(SELECT max(r.run_started) FROM runs r WHERE r.run_pid = o.run_pid"
                                                        " AND r.run_started <= coalesce(o.found_at, ''))";
    std::string why = store_add_rows(db, "SELECT id, found_at, run_pid, " + started + ", mac_addr, ip_addr, port, model,"
                                         " model_id, brand_id, record FROM found_media_sources o WHERE id >= " +
                                         std::to_string(next) + " AND id < " + to + " ORDER BY id");
    return why.empty() ? sqlite_run(db, "UPDATE compact_next SET id = " + to) : why;
}

// done: the step is whole; a migration in parts commits one part at a time.
static std::string step_from(sqlite3* db, int version, long long part_rows, bool& done)
{
    done = true;
    if (version < 0)
        return sqlite_run(db, std::string(compact_tables) + facts_lookup_index + compact_views + ";" + store_pending_table);
    if (version == store_version)
        return sqlite_run(db, facts_lookup_index);
    return compact_part(db, version, part_rows, done);
}

// What a migration in parts has done.
static std::string migration_progress(sqlite3* db)
{
    if (sqlite_integer(db, "SELECT count(*) FROM sqlite_master WHERE name = 'compact_next'", 0) == 0)
        return "";
    long long next = sqlite_integer(db, "SELECT id FROM compact_next", 0);
    long long last = sqlite_integer(db, "SELECT max(id) FROM found_media_sources", 0);
    return "still migrating, " + std::to_string(std::clamp(next - 1, 0LL, last)) + " of " + std::to_string(last) +
           " rows done";
}

// A store at this version is only read; one to change is read again
// once this connection is its only writer.
std::string store_set_up(sqlite3* db, std::chrono::steady_clock::time_point deadline, long long part_rows)
{
    for (bool writing = false;;) {
        std::string why = begin(db, writing ? "BEGIN IMMEDIATE" : "BEGIN", deadline);
        if (!why.empty()) {
            std::string progress = migration_progress(db);
            return progress.empty() ? why : progress + ": " + why;
        }
        int version = version_found(db, why);
        if (why.empty() && version > store_version)
            why = "made by a later version of onvif_camscout (" + std::to_string(version) + ")";
        bool current = version == store_version &&
                       sqlite_integer(db, "SELECT count(*) FROM sqlite_master WHERE name = 'facts_by_identity'", 0) != 0;
        if (why.empty() && (current || !writing)) {
            why = sqlite_run(db, "COMMIT");
            if (!why.empty() || current)
                return why;
            writing = true;
            continue;
        }
        bool done = true;
        if (why.empty())
            why = step_from(db, version, part_rows, done);
        if (why.empty() && done)
            why = sqlite_run(db, "PRAGMA user_version = " + std::to_string(store_version));
        if (why.empty())
            why = sqlite_run(db, "COMMIT");
        if (!why.empty()) {
            sqlite_run(db, "ROLLBACK");
            std::string progress = migration_progress(db);
            return progress.empty() ? why : progress + ": " + why;
        }
        if (!done && std::chrono::steady_clock::now() >= deadline)
            return migration_progress(db);
    }
}

// First-version rows, in order of run_pid and found_at, as runs.
struct first_version_run {
    bool any = false;
    long long pid = 0, first_ms = 0;
    std::string started;

    const std::string& started_of(long long row_pid, const std::string& found_at)
    {
        std::optional<long long> at = parse_utc(found_at);
        if (!any || row_pid != pid || (at && *at - first_ms > first_version_run_ms)) {
            any = true;
            pid = row_pid;
            first_ms = at.value_or(first_ms);
            started = found_at;
        }
        return started;
    }
};

// One pass in order of run_pid and found_at finds the runs' starts, a few
// per process, into runs (run_pid, started, the id of the run's first row).
static std::string find_run_starts(sqlite3* db, const std::string& runs)
{
    sqlite3_stmt *rows = nullptr, *add = nullptr;
    std::string why, insert = "INSERT OR IGNORE INTO " + runs + " VALUES (?1, ?2, ?3)";
    if (sqlite3_prepare_v2(db, "SELECT run_pid, coalesce(found_at, ''), id FROM found_media_sources ORDER BY 1, 2", -1,
                           &rows, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, insert.c_str(), -1, &add, nullptr) != SQLITE_OK)
        why = sqlite3_errmsg(db);
    first_version_run run;
    int rc = SQLITE_DONE;
    while (why.empty() && (rc = sqlite3_step(rows)) == SQLITE_ROW) {
        std::string found_at(reinterpret_cast<const char*>(sqlite3_column_text(rows, 1)));
        const std::string& started = run.started_of(sqlite3_column_int64(rows, 0), found_at);
        if (started != found_at)
            continue;
        sqlite3_bind_int64(add, 1, run.pid);
        sqlite3_bind_text(add, 2, started.data(), static_cast<int>(started.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(add, 3, sqlite3_column_int64(rows, 2));
        if (sqlite3_step(add) != SQLITE_DONE)
            why = sqlite3_errmsg(db);
        sqlite3_reset(add);
    }
    if (why.empty() && rc != SQLITE_DONE)
        why = sqlite3_errmsg(db);
    sqlite3_finalize(rows);
    sqlite3_finalize(add);
    return why;
}

std::string group_first_version_runs(sqlite3* db)
{
    std::string why = sqlite_run(db, "ALTER TABLE found_media_sources ADD COLUMN run_started TEXT;"
                                     "CREATE TEMP TABLE first_version_runs (run_pid INTEGER, started TEXT, first_id INTEGER,"
                                     " PRIMARY KEY (run_pid, started)) WITHOUT ROWID");
    if (why.empty())
        why = find_run_starts(db, "temp.first_version_runs");
    if (why.empty())
        why = sqlite_run(db, "UPDATE found_media_sources SET run_started = (SELECT max(r.started) FROM"
                             " temp.first_version_runs r WHERE r.run_pid = found_media_sources.run_pid AND"
                             " r.started <= coalesce(found_media_sources.found_at, ''))");
    return why.empty() ? sqlite_run(db, "DROP TABLE temp.first_version_runs") : why;
}

// The sightings of the runs stored up to ?1 (every one below ?2), but not
// a facts' newest sighting, nor one past ?3, the forwarded.
static const char expire_sql[] =
    "DELETE FROM sightings WHERE id IN (SELECT id FROM sightings WHERE id <= ?2 AND id <= ?3 AND run <= ?1"
    " AND id NOT IN (SELECT last_sighting FROM facts WHERE last_sighting IS NOT NULL) LIMIT 5000)";
// A run whose sightings have all gone.
static const char expire_runs_where[] =
    " AND NOT EXISTS (SELECT 1 FROM sightings s WHERE s.id BETWEEN runs.first_sighting AND runs.last_sighting"
    " AND s.run = runs.id)";

// Free pages are kept for the next runs' rows up to an eighth of the file.
static std::string return_free_pages(sqlite3* db)
{
    long long free_pages = sqlite_integer(db, "PRAGMA freelist_count", 0);
    long long pages = sqlite_integer(db, "PRAGMA page_count", 0);
    if (sqlite_integer(db, "PRAGMA auto_vacuum", 0) != 2 || free_pages <= pages / 8)
        return "";
    return sqlite_run(db, "PRAGMA incremental_vacuum(" + std::to_string(free_pages - pages / 16) + ")");
}

// The last run stored before the first that started at the cutoff or
// later: runs go in the order stored, so one stamped in the past (a clock
// not yet set) takes none stored after it along. 0 when the clock is
// behind the newest run stored before this run or more than keep_ms ahead
// of it: a clock that is wrong, one way or the other, deletes nothing, and
// this run's own start, being the clock, says nothing of it.
static long long last_run_to_expire(sqlite3* db, long long now_ms, long long keep_ms, long long this_run_pid)
{
    long long none = std::numeric_limits<long long>::min();
    std::string pid = std::to_string(this_run_pid);
    long long newest = sqlite_integer(db, ("SELECT started_ms FROM runs WHERE started_ms IS NOT NULL AND id < coalesce("
                                           "(SELECT max(id) FROM runs WHERE run_pid = " + pid + "), 1 << 62)"
                                           " ORDER BY id DESC LIMIT 1").c_str(), none);
    if (newest == none || now_ms < newest || now_ms - newest > keep_ms)
        return 0;
    return sqlite_integer(db, ("SELECT coalesce(min(id) - 1, 0) FROM runs WHERE started_ms >= " +
                               std::to_string(now_ms - keep_ms)).c_str(), 0);
}

long long store_expire(sqlite3* db, long long now_ms, long long keep_ms, bool keep_unforwarded,
                       long long this_run_pid, std::chrono::steady_clock::time_point deadline,
                       std::string& why)
{
    long long run = last_run_to_expire(db, now_ms, keep_ms, this_run_pid);
    if (run == 0)
        return 0;
    std::string top = "(SELECT coalesce(max(last_sighting), 0) FROM runs WHERE id <= " + std::to_string(run) + ")";
    long long below = sqlite_integer(db, ("SELECT " + top).c_str(), 0);
    long long forwarded = keep_unforwarded ? sqlite_integer(db, "SELECT up_to FROM forwarding", 0) : below;
    sqlite3_stmt* st = nullptr;
    long long deleted = 0;
    int chunk = 0;
    if (sqlite3_prepare_v2(db, expire_sql, -1, &st, nullptr) != SQLITE_OK)
        why = sqlite3_errmsg(db);
    sqlite3_bind_int64(st, 1, run);
    sqlite3_bind_int64(st, 2, below);
    sqlite3_bind_int64(st, 3, forwarded);
    do {
        if (!why.empty() || !(why = begin(db, "BEGIN IMMEDIATE", deadline)).empty())
            break;
        chunk = sqlite3_step(st) == SQLITE_DONE ? sqlite3_changes(db) : -1;
        why = chunk < 0 ? sqlite3_errmsg(db) : sqlite_run(db, "COMMIT");
        sqlite3_reset(st);
        if (!why.empty())
            sqlite_run(db, "ROLLBACK");
        else
            deleted += chunk;
    } while (why.empty() && chunk == 5000 && std::chrono::steady_clock::now() < deadline);
    sqlite3_finalize(st);
    if (why.empty() && chunk < 5000)
        why = sqlite_run(db, "DELETE FROM runs WHERE id <= " + std::to_string(run) + expire_runs_where);
    if (why.empty() && deleted > 0)
        why = return_free_pages(db);
    return deleted;
}
