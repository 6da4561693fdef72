#include <sqlite3.h>

#include "host/store/sqlite_query.h"
#include "rows.h"

static std::string column_text(sqlite3_stmt* st, int i)
{
    const char* t = static_cast<const char*>(sqlite3_column_blob(st, i));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(st, i))) : "";
}

// A store of the first version has no run_started until the daemon has
// migrated it; the reader never writes, so it groups by run_pid itself.
static std::string run_started_column(sqlite3* db)
{
    return sqlite_prepares(db, "SELECT run_started FROM found_media_sources LIMIT 0") ? "f.run_started"
                                                                                      : first_version_run_started("f");
}

static std::string query(sqlite3* db, bool all)
{
    return "SELECT ip_addr, mac_addr, model, found_at, " + run_started_column(db) +
           ", run_pid, port, brand_id, model_id >> 32, model_id & 4294967295 FROM " +
           (all ? "found_media_sources f ORDER BY id" : "media_sources f ORDER BY ip_addr, id");
}

std::string read_sqlite_rows(const std::string& path, bool all, std::vector<source_row>& rows)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        rc = sqlite3_prepare_v2(db, query(db, all).c_str(), -1, &st, nullptr);
    }
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        rows.push_back({"", column_text(st, 4), sqlite3_column_int64(st, 5), column_text(st, 0), column_text(st, 1),
                        column_text(st, 2), column_text(st, 3), sqlite3_column_int64(st, 6),
                        sqlite3_column_int64(st, 7), sqlite3_column_int64(st, 8), sqlite3_column_int64(st, 9)});
        rc = SQLITE_OK;
    }
    std::string why = rc == SQLITE_DONE ? "" : db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_finalize(st);
    sqlite3_close(db);
    return why;
}
