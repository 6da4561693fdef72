#include "host/store/store_identity.h"

#include <sqlite3.h>
#include <uuid/uuid.h>

#include "host/store/sqlite_query.h"

static std::string random_identity()
{
    uuid_t id;
    char text[37];
    uuid_generate_random(id);
    uuid_unparse_lower(id, text);
    return text;
}

static bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string store_identity_set_up(sqlite3* db, const std::string& recorder)
{
    if (!store_identity(db).empty())
        return "";
    if (!exec(db, "BEGIN IMMEDIATE"))
        return sqlite3_errmsg(db);
    bool forwarded = sqlite_integer(db, "SELECT up_to FROM forwarding", 0) > 0;
    std::string id = forwarded && !recorder.empty() ? recorder : random_identity();
    sqlite3_stmt* st = nullptr;
    bool made = exec(db, "CREATE TABLE IF NOT EXISTS store_identity (id TEXT NOT NULL)") &&
                sqlite3_prepare_v2(db, "INSERT INTO store_identity SELECT ? WHERE NOT EXISTS (SELECT 1 FROM store_identity)",
                                   -1, &st, nullptr) == SQLITE_OK &&
                sqlite3_bind_text(st, 1, id.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    if (made && exec(db, "COMMIT"))
        return "";
    std::string why = sqlite3_errmsg(db);  // before the rollback replaces it
    exec(db, "ROLLBACK");
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
