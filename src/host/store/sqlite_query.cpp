#include "host/store/sqlite_query.h"

#include <sqlite3.h>

bool sqlite_prepares(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK;
    sqlite3_finalize(st);
    return ok;
}

long long sqlite_integer(sqlite3* db, const char* sql, long long fallback)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        fallback = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return fallback;
}

std::string first_version_run_started(const std::string& table)
{
    return "(SELECT MIN(o.found_at) FROM found_media_sources o WHERE o.run_pid = " + table + ".run_pid)";
}
