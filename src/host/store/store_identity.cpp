#include "host/store/store_identity.h"

#include <sqlite3.h>
#include <uuid/uuid.h>

#include "host/store/sqlite_query.h"

std::string store_identity_set_up(sqlite3* db, const std::string& recorder)
{
    uuid_t id;
    char random[37];
    uuid_generate_random(id);
    uuid_unparse_lower(id, random);
    char* sql = sqlite3_mprintf("CREATE TABLE IF NOT EXISTS store_identity (id TEXT NOT NULL); INSERT INTO store_identity"
                                " SELECT coalesce(CASE WHEN (SELECT up_to FROM forwarding) > 0 THEN nullif(%Q, '') END, %Q)"
                                " WHERE NOT EXISTS (SELECT 1 FROM store_identity)", recorder.c_str(), random);
    std::string why = sql ? sqlite_run(db, sql) : "out of memory";
    sqlite3_free(sql);
    return why;
}

std::string store_identity(sqlite3* db)
{
    sqlite3_stmt* st = nullptr;
    std::string id;
    if (sqlite3_prepare_v2(db, "SELECT id FROM store_identity", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) != nullptr)
        id = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return id;
}
