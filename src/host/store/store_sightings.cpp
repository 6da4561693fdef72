#include "host/store/store_sightings.h"

#include <sqlite3.h>

#include <algorithm>
#include <string_view>

#include "host/store/sqlite_query.h"

static std::string_view text_of(sqlite3_value* v)
{
    const char* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return {t ? t : "", static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

// time_tail(started, found): the found time's text past what it shares
// with its run's start, a few bytes that give back the very text at the
// cost of a substr, where both are ASCII texts of one length (as the store
// writes times); else NULL, and the sighting keeps the whole text. SQL has
// no way to find where two texts part.
static void time_tail(sqlite3_context* context, int, sqlite3_value** args)
{
    if (sqlite3_value_type(args[0]) != SQLITE_TEXT || sqlite3_value_type(args[1]) != SQLITE_TEXT)
        return;
    std::string_view started = text_of(args[0]), found = text_of(args[1]);
    auto ascii = [](std::string_view t) { return std::all_of(t.begin(), t.end(), [](char c) { return c >= 0; }); };
    if (started.size() != found.size() || !ascii(started) || !ascii(found))
        return;
    std::size_t same = static_cast<std::size_t>(std::mismatch(found.begin(), found.end(), started.begin()).first - found.begin());
    sqlite3_result_text(context, found.data() + same, static_cast<int>(found.size() - same), SQLITE_TRANSIENT);
}

// A row's run and facts, by what a run and a set of facts are: IS, so that
// rows of an earlier version with NULLs find theirs too.
static const char run_of_row[] =
    "(SELECT r.id FROM runs r WHERE r.run_pid IS a.run_pid AND r.run_started IS a.run_started ORDER BY r.id DESC LIMIT 1)";
static const char facts_of_row[] =
    "(SELECT f.id FROM facts f WHERE f.mac_addr IS a.mac_addr AND f.ip_addr IS a.ip_addr AND f.port IS a.port"
    " AND f.model_id IS a.model_id AND f.brand_id IS a.brand_id AND f.model IS a.model AND f.record IS a.record"
    " ORDER BY f.id DESC LIMIT 1)";
// Milliseconds since 1970 of a start the store wrote; NULL for any other text.
static const char started_ms[] =
    "CASE WHEN strftime('%Y-%m-%dT%H:%M:%fZ', run_started) IS run_started"
    " THEN CAST(round((julianday(run_started) - 2440587.5) * 86400000) AS INTEGER) END";

// The runs and facts not there yet, each in the order of its first row;
// then a sighting a row, in order; then the newest sighting of each facts
// and the span of each run among the sightings added (ids from first on).
static std::string adding_sql(const char* sighting_id, const std::string& first)
{
    return std::string("INSERT INTO runs (run_pid, run_started, started_ms) SELECT run_pid, run_started, ") + started_ms +
           " FROM (SELECT run_pid, run_started, min(id) AS first FROM temp.adding a WHERE " + run_of_row +
           " IS NULL GROUP BY run_pid, run_started) ORDER BY first;"
           "INSERT INTO facts (mac_addr, ip_addr, port, model, model_id, brand_id, record, first_run)"
           " SELECT mac_addr, ip_addr, port, model, model_id, brand_id, record, " + run_of_row +
           " FROM (SELECT *, min(id) AS first FROM temp.adding a WHERE " + facts_of_row + " IS NULL"
           " GROUP BY mac_addr, ip_addr, port, model, model_id, brand_id, record) a ORDER BY first;"
           "INSERT INTO sightings (id, run, facts, at, found_at) SELECT " + sighting_id +
           ", run, facts, tail, iif(tail IS NULL, found_at, NULL) FROM (SELECT a.id, a.found_at, " + run_of_row +
           " AS run, " + facts_of_row + " AS facts, time_tail(a.run_started, a.found_at) AS tail FROM temp.adding a)"
           " ORDER BY id;"
           "UPDATE facts SET last_sighting = max(coalesce(last_sighting, 0), s.newest) FROM (SELECT facts, max(id) AS newest"
           " FROM sightings WHERE id >= " + first + " GROUP BY facts) s WHERE facts.id = s.facts;"
           "UPDATE runs SET first_sighting = min(coalesce(first_sighting, s.lo), s.lo), last_sighting ="
           " max(coalesce(last_sighting, 0), s.hi) FROM (SELECT run, min(id) AS lo, max(id) AS hi FROM sightings"
           " WHERE id >= " + first + " GROUP BY run) s WHERE runs.id = s.run;";
}

std::string store_add_rows(sqlite3* db, const std::string& rows, bool keep_ids)
{
    sqlite3_create_function(db, "time_tail", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, time_tail, nullptr, nullptr);
    std::string first = std::to_string(sqlite_integer(db, "SELECT coalesce(max(id), 0) + 1 FROM sightings", 1));
    std::string sql = adding_sql(keep_ids ? "id" : "NULL", first);
    std::string why = sqlite_run(db, "CREATE TEMP VIEW adding AS " + rows + ";" + sql);
    sqlite_run(db, "DROP VIEW IF EXISTS temp.adding");
    return why;
}

// A part is committed before the next begins, so a move cut short (the
// process ended at the end of its run) keeps what it moved.
std::string store_move_pending(sqlite3* db, std::optional<std::chrono::steady_clock::time_point> by)
{
    for (;;) {
        if (by)
            sqlite_wait_until(db, *by);
        std::string why = sqlite_run(db, "BEGIN IMMEDIATE");
        if (!why.empty())
            return why;
        std::string last = std::to_string(sqlite_integer(db, "SELECT coalesce((SELECT id FROM found_pending ORDER BY id"
                                                             " LIMIT 1 OFFSET 999), (SELECT max(id) FROM found_pending), 0)", 0));
        if (last == "0")
            return sqlite_run(db, "COMMIT");
        why = store_add_rows(db, "SELECT * FROM found_pending WHERE id <= " + last, false);
        if (why.empty())
            why = sqlite_run(db, "DELETE FROM found_pending WHERE id <= " + last + "; COMMIT");
        if (!why.empty()) {
            sqlite_run(db, "ROLLBACK");
            return why;
        }
    }
}
