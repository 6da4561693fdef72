#include <sqlite3.h>

#include <memory>

#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"
#include "rows.h"

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
    sqlite3_finalize(st);
    return rc == SQLITE_DONE || rc == SQLITE_OK ? "" : sqlite3_errmsg(db);
}

// A store of the first version has no run_started until a run has migrated
// it; the reader never writes, so it groups a copy of its own, which hides
// the store's table under the same name.
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

std::string open_sqlite_store(const std::string& path, bool changes, store_reader& store)
{
    sqlite3* opened = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
    std::shared_ptr<sqlite3> db(opened, sqlite3_close);
    if (rc != SQLITE_OK)
        return opened ? sqlite3_errmsg(opened) : "out of memory";
    sqlite3_busy_timeout(opened, 2000);
    std::string why = sqlite_run(opened, "SELECT 1 FROM found_media_sources LIMIT 0");
    if (why.empty() && changes)
        why = first_version_copy(opened);
    store.query = [db](const std::string& sql, const std::vector<std::string>& params, const result_sink& each) {
        return run_query(db.get(), sql, params, each);
    };
    store.columns = "'', ip_addr, mac_addr, model, found_at, port, brand_id, model_id >> 32, model_id & 4294967295";
    store.order_all = "id";
    store.order_newest = "ip_addr, id";
    store.snapshot = "BEGIN";
    store.id = "id";
    return why;
}

source_row source_row_of(const store_reader& store, const result_row& r)
{
    auto number = [&](std::size_t i) { return r[i].empty() ? 0LL : std::stoll(r[i]); };
    std::string model = r[3];
    if (store.central) {
        model.clear();
        for (std::size_t i = 0; i + 1 < r[3].size(); i += 2)
            model += static_cast<char>(std::stoi(r[3].substr(i, 2), nullptr, 16));
    }
    return {r[0], r[1], r[2], model, r[4], number(5), number(6), number(7), number(8)};
}
