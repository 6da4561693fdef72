#include <sqlite3.h>

#include <memory>

#include "host/store/store_reading.h"
#include "read_sqlite.h"

static std::string column_text(sqlite3_stmt* st, int i)
{
    const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(st, i))) : "";
}

static std::string run_query(sqlite3* db, const std::string& sql, const std::vector<std::string>& params,
                             const result_sink& each)
{
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> finalized(st, sqlite3_finalize);  // also when each throws
    for (std::size_t i = 0; rc == SQLITE_OK && i < params.size(); ++i) {
        int at = sqlite3_bind_parameter_index(st, ("$" + std::to_string(i + 1)).c_str());
        sqlite3_bind_text(st, at, params[i].data(), static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
    }
    result_row row;
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        row.resize(static_cast<std::size_t>(sqlite3_column_count(st)));
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = column_text(st, static_cast<int>(i));
        each(row);
        rc = SQLITE_OK;
    }
    return rc == SQLITE_DONE || rc == SQLITE_OK ? "" : sqlite3_errmsg(db);
}

std::string open_sqlite_store(const std::string& path, bool changes, store_reader& store)
{
    std::string why;
    sqlite3* opened = store_open_for_reading(path, changes, why);
    if (!opened)
        return why;
    std::shared_ptr<sqlite3> db(opened, sqlite3_close);
    store.query = [db](const std::string& sql, const std::vector<std::string>& params, const result_sink& each) {
        return run_query(db.get(), sql, params, each);
    };
    store.columns = "'', ip_addr, mac_addr, model, found_at, port, brand_id, model_id, id";
    store.order_all = "id";
    store.order_newest = "ip_addr, id";
    store.snapshot = "BEGIN";
    store.id = "id";
    return store.query("SELECT 1 FROM sqlite_master WHERE name = 'runs' AND EXISTS (SELECT 1 FROM sqlite_master"
                       " WHERE name = 'found_media_sources' AND type = 'view')", {},
                       [&](const result_row&) { store.runs_in_order = true; });
}
