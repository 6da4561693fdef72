#include "host/store/sqlite_query.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>

long long sqlite_integer(sqlite3* db, const char* sql, long long fallback)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        fallback = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return fallback;
}

std::string sqlite_run(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK)
        return "";
    std::string why = error ? error : db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_free(error);
    return why;
}

void sqlite_wait_until(sqlite3* db, std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    sqlite3_busy_timeout(db, static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX)));
}
