#include "host/store/store_reading.h"

#include <sqlite3.h>

#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"

// The reader never writes, so it groups a copy of its own.
static std::string first_version_copy(sqlite3* db)
{
    if (sqlite_integer(db, "SELECT count(*) FROM pragma_table_info('found_media_sources') WHERE name = 'run_started'", 1))
        return "";
    std::string why = sqlite_run(db, "BEGIN; CREATE TEMP TABLE found_media_sources AS SELECT * FROM main.found_media_sources");
    if (why.empty())
        why = group_first_version_runs(db);
    if (why.empty())
        why = sqlite_run(db, std::string(store_run_indexes) + "COMMIT");
    return why;
}

sqlite3* store_open_for_reading(const std::string& path, bool runs, std::string& why)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    why = sqlite_run(db, "SELECT 1 FROM found_media_sources LIMIT 0");
    if (why.empty() && runs)
        why = first_version_copy(db);
    if (why.empty())
        return db;
    sqlite3_close(db);
    return nullptr;
}
