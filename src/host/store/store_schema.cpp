#include "host/store/store_schema.h"

#include <sqlite3.h>

#include <algorithm>
#include <optional>
#include <thread>

#include "host/store/sqlite_query.h"
#include "host/log/utc_time.h"

static const int store_version = 3;

// A run is known by its start and its process: run_started with run_pid.
// forwarded: the central inventory has confirmed the row.
static const char store_tables[] =
    "CREATE TABLE found_media_sources ("
    " id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER, model_id INTEGER,"
    " model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB,"
    " run_started TEXT, forwarded INTEGER NOT NULL DEFAULT 0);"
    "CREATE VIEW IF NOT EXISTS media_sources AS SELECT * FROM found_media_sources"
    " WHERE id IN (SELECT MAX(id) FROM found_media_sources GROUP BY mac_addr);";

// A MAC address's runs (its first, its newest row) and the runs in order.
const char store_run_indexes[] =
    "CREATE INDEX IF NOT EXISTS found_media_sources_by_mac ON found_media_sources (mac_addr, run_started, run_pid);"
    "CREATE INDEX IF NOT EXISTS found_media_sources_runs ON found_media_sources (run_started, run_pid);";

// Each run sends the rows not forwarded yet, without reading the others.
static const char store_forward_index[] =
    "CREATE INDEX IF NOT EXISTS found_media_sources_to_forward ON found_media_sources (id) WHERE forwarded = 0;";

// A first-version run lasts about 62 s: the worker's 60, its last receive
// wait and the pause. A process id comes back only much later.
static const long long first_version_run_ms = 70 * 1000;

// -1: no store yet; 0: the first version, also one partly migrated; 1: with runs; 2: with
// forwarding; past that, what user_version says.
static int version_found(sqlite3* db, std::string& why)
{
    static const char sql[] =
        "SELECT (SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'found_media_sources'),"
        " (SELECT count(*) FROM pragma_table_info('found_media_sources') WHERE name IN ('run_started', 'forwarded')),"
        " (SELECT user_version FROM pragma_user_version)";
    sqlite3_stmt* st = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        long long columns = sqlite3_column_int64(st, 1), user = std::min(sqlite3_column_int64(st, 2), 1000LL);
        version = sqlite3_column_int64(st, 0) == 0 ? -1 : columns < 2 ? static_cast<int>(columns)
                                                                       : static_cast<int>(std::max(2LL, user));
    } else {
        why = sqlite3_errmsg(db);
    }
    sqlite3_finalize(st);
    return version;
}

// Another writer holds the store for a moment; one that keeps it past the
// deadline makes the store busy, not missing.
static bool busy(sqlite3* db)
{
    return sqlite3_errcode(db) == SQLITE_BUSY || sqlite3_errcode(db) == SQLITE_LOCKED;
}

static std::string begin(sqlite3* db, const char* sql, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return "";
        std::string why = sqlite3_errmsg(db);
        if (!busy(db))
            return why;
        if (std::chrono::steady_clock::now() >= deadline)
            return "busy: another process keeps it locked (" + why + ")";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

static std::string first_version_part(sqlite3* db, long long part_rows, bool& done);

// A first-version store whose migration in parts has begun.
static bool migrating_in_parts(sqlite3* db)
{
    return sqlite_integer(db, "SELECT count(*) FROM sqlite_master WHERE name = 'first_version_next'", 0) != 0;
}

// An index on a large store takes a while; one per transaction, so that a
// stopped set-up keeps the ones it made.
static std::string next_index(sqlite3* db, bool& done)
{
    static const char count_sql[] = "SELECT count(*) FROM sqlite_master WHERE type = 'index'";
    std::string all = std::string(store_run_indexes) + store_forward_index, why;
    const char* at = all.c_str();
    long long before = sqlite_integer(db, count_sql, 0);
    while (why.empty() && *at && sqlite_integer(db, count_sql, 0) == before) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, at, -1, &st, &at) != SQLITE_OK || (st && sqlite3_step(st) != SQLITE_DONE))
            why = sqlite3_errmsg(db);
        sqlite3_finalize(st);
    }
    done = *at == '\0';
    return why;
}

// done: the step is whole; a migration in parts commits one part at a time.
static std::string step_from(sqlite3* db, int version, long long part_rows, bool& done)
{
    done = true;
    switch (version) {
    case -1:
        return sqlite_run(db, std::string(store_tables) + store_run_indexes + store_forward_index);
    case 0:
        return first_version_part(db, part_rows, done);
    case 1:
        return sqlite_run(db, "ALTER TABLE found_media_sources ADD COLUMN forwarded INTEGER NOT NULL DEFAULT 0");
    default:
        return next_index(db, done);
    }
}

// What a migration in parts has done, for the message of a set-up it could not finish.
static std::string first_version_progress(sqlite3* db)
{
    if (!migrating_in_parts(db))
        return "";
    long long next = sqlite_integer(db, "SELECT id FROM first_version_next", 0);
    long long last = sqlite_integer(db, "SELECT max(id) FROM found_media_sources", 0);
    return "still migrating, " + std::to_string(std::min(next - 1, last)) + " of " + std::to_string(last) +
           " rows done, continues next run: ";
}

// A store at this version is only read; one to change is read again
// once this connection is its only writer.
std::string store_set_up(sqlite3* db, std::chrono::steady_clock::time_point deadline, long long part_rows)
{
    for (bool writing = false;;) {
        std::string why = begin(db, writing ? "BEGIN IMMEDIATE" : "BEGIN", deadline);
        if (!why.empty())
            return why;
        int version = version_found(db, why);
        if (!why.empty() && busy(db)) {
            sqlite_run(db, "ROLLBACK");
            if (std::chrono::steady_clock::now() >= deadline)
                return "busy: another process keeps it locked (" + why + ")";
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        if (why.empty() && version > store_version)
            why = "made by a later version of onvif_camscout (" + std::to_string(version) + ")";
        if (why.empty() && (version == store_version || !writing)) {
            why = sqlite_run(db, "COMMIT");
            if (!why.empty() || version == store_version)
                return why;
            writing = true;
            continue;
        }
        bool done = true;
        if (why.empty())
            why = step_from(db, version, part_rows, done);
        if (why.empty() && done)
            why = sqlite_run(db, "PRAGMA user_version = " + std::to_string(version < 0 ? store_version : version + 1));
        if (why.empty())
            why = sqlite_run(db, "COMMIT");
        if (!why.empty()) {
            sqlite_run(db, "ROLLBACK");
            return first_version_progress(db) + why;
        }
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
// per process, into runs (run_pid, started).
static std::string find_run_starts(sqlite3* db, const std::string& runs)
{
    sqlite3_stmt *rows = nullptr, *add = nullptr;
    std::string why, insert = "INSERT OR IGNORE INTO " + runs + " VALUES (?1, ?2)";
    if (sqlite3_prepare_v2(db, "SELECT run_pid, coalesce(found_at, '') FROM found_media_sources ORDER BY 1, 2", -1, &rows,
                           nullptr) != SQLITE_OK ||
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

// Gives the rows that rows_where picks the last start of their process at
// or before them.
static std::string fill_run_starts(sqlite3* db, const std::string& runs, const std::string& column,
                                   const std::string& rows_where)
{
    return sqlite_run(db, "UPDATE found_media_sources SET " + column + " = (SELECT max(r.started) FROM " + runs +
                              " r WHERE r.run_pid = found_media_sources.run_pid AND"
                              " r.started <= coalesce(found_media_sources.found_at, ''))" + rows_where);
}

std::string group_first_version_runs(sqlite3* db)
{
    std::string why = sqlite_run(db, "ALTER TABLE found_media_sources ADD COLUMN run_started TEXT;"
                                     "CREATE TEMP TABLE first_version_runs (run_pid INTEGER, started TEXT,"
                                     " PRIMARY KEY (run_pid, started)) WITHOUT ROWID");
    if (why.empty())
        why = find_run_starts(db, "temp.first_version_runs");
    if (why.empty())
        why = fill_run_starts(db, "temp.first_version_runs", "run_started", "");
    return why.empty() ? sqlite_run(db, "DROP TABLE temp.first_version_runs") : why;
}

// A large first-version store takes longer than a run may last, so its
// migration goes in parts, each committed, and a stopped one goes on from
// its last part: first the runs' starts, kept in first_version_runs; then
// the rows in ranges of id, first_version_next the next; last the column
// takes its name. Until then readers take the store for a first-version one.
static std::string first_version_part(sqlite3* db, long long part_rows, bool& done)
{
    done = false;
    if (!migrating_in_parts(db)) {
        std::string why = sqlite_run(db, "ALTER TABLE found_media_sources ADD COLUMN run_started_partly TEXT;"
                                         "CREATE TABLE first_version_runs (run_pid INTEGER, started TEXT,"
                                         " PRIMARY KEY (run_pid, started)) WITHOUT ROWID;"
                                         "CREATE TABLE first_version_next (id INTEGER); INSERT INTO first_version_next VALUES (1)");
        return why.empty() ? find_run_starts(db, "first_version_runs") : why;
    }
    long long next = sqlite_integer(db, "SELECT id FROM first_version_next", 0);
    if (next > sqlite_integer(db, "SELECT max(id) FROM found_media_sources", 0)) {
        done = true;
        return sqlite_run(db, "ALTER TABLE found_media_sources RENAME COLUMN run_started_partly TO run_started;"
                              "DROP TABLE first_version_runs; DROP TABLE first_version_next");
    }
    std::string to = std::to_string(next + std::max(part_rows, 1LL));
    std::string why = fill_run_starts(db, "first_version_runs", "run_started_partly",
                                      " WHERE id >= " + std::to_string(next) + " AND id < " + to);
    return why.empty() ? sqlite_run(db, "UPDATE first_version_next SET id = " + to) : why;
}

// The central forwarding sets forwarded to 1 once the server has the row.
// A row the view shows, the MAC address's last, stays too, even when a
// clock set wrong gave it an older run start than another row.
static const char expire_sql[] =
    "DELETE FROM found_media_sources WHERE id IN (SELECT o.id FROM found_media_sources o"
    " WHERE o.run_started < ?1 AND (o.forwarded = 1 OR ?2 = 0) AND EXISTS (SELECT 1 FROM found_media_sources n"
    " WHERE n.mac_addr = o.mac_addr AND n.run_started > o.run_started)"
    " AND o.id < (SELECT max(m.id) FROM found_media_sources m WHERE m.mac_addr = o.mac_addr) LIMIT 5000)";

// Free pages are kept for the next runs' rows up to an eighth of the file.
static std::string return_free_pages(sqlite3* db)
{
    long long free_pages = sqlite_integer(db, "PRAGMA freelist_count", 0);
    long long pages = sqlite_integer(db, "PRAGMA page_count", 0);
    if (sqlite_integer(db, "PRAGMA auto_vacuum", 0) != 2 || free_pages <= pages / 8)
        return "";
    return sqlite_run(db, "PRAGMA incremental_vacuum(" + std::to_string(free_pages - pages / 16) + ")");
}

long long store_expire(sqlite3* db, const std::string& cutoff, bool keep_unforwarded,
                       std::chrono::steady_clock::time_point deadline, std::string& why)
{
    sqlite3_stmt* st = nullptr;
    long long deleted = 0;
    int chunk = 0;
    if (sqlite3_prepare_v2(db, expire_sql, -1, &st, nullptr) != SQLITE_OK)
        why = sqlite3_errmsg(db);
    sqlite3_bind_text(st, 1, cutoff.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 2, keep_unforwarded);
    do {
        if (!why.empty() || !(why = begin(db, "BEGIN IMMEDIATE", std::chrono::steady_clock::now())).empty())
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
    if (why.empty() && deleted > 0)
        why = return_free_pages(db);
    return deleted;
}
