// The media-source library for a generic Linux host: one SQLite row per
// found media source. A store that cannot be opened or written is reported
// with an "[msas]" line and never ends or stalls the discovery run.
#include "platform/media_source_store.h"

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "platform/logger.h"
#include "platform/platform.h"
#include "platform/settings.h"
#include "platform/text_field.h"

static sqlite3* store_db = nullptr;          // open store, or null
static sqlite3_stmt* store_insert_stmt = nullptr;

static const char store_schema[] =
    "CREATE TABLE IF NOT EXISTS found_media_sources ("
    " id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER, model_id INTEGER,"
    " model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB);"
    "CREATE VIEW IF NOT EXISTS media_sources AS SELECT * FROM found_media_sources"
    " WHERE id IN (SELECT MAX(id) FROM found_media_sources GROUP BY mac_addr);";

static const char store_insert_sql[] =
    "INSERT INTO found_media_sources (found_at, run_pid, model_id, model, ip_addr,"
    " mac_addr, brand_id, port, record) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";

// A reader holding the file must not stall the run for long.
static const int store_busy_ms = 2000;

static std::string failure(const char* what)
{
    std::string why = store_db ? sqlite3_errmsg(store_db) : "out of memory";
    return std::string(what) + ": " + why;
}

std::string store_open(const std::string& path)
{
    store_close();
    std::error_code ec;
    auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec)
        return "cannot create " + folder.string() + ": " + ec.message();
    if (sqlite3_open(path.c_str(), &store_db) != SQLITE_OK) {
        std::string why = failure(("cannot open " + path).c_str());
        store_close();
        return why;
    }
    sqlite3_busy_timeout(store_db, store_busy_ms);
    sqlite3_exec(store_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                 nullptr, nullptr);
    if (sqlite3_exec(store_db, store_schema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(store_db, store_insert_sql, -1, &store_insert_stmt, nullptr) !=
            SQLITE_OK) {
        std::string why = failure(("cannot set up " + path).c_str());
        store_close();
        return why;
    }
    return "";
}

static void bind_text(int column, std::string_view text)
{
    sqlite3_bind_text(store_insert_stmt, column, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

std::string store_insert(const TMediaSourceDevInfo& info)
{
    if (store_insert_stmt == nullptr)
        return "store not open";
    sqlite3_reset(store_insert_stmt);
    bind_text(1, utc_timestamp());
    sqlite3_bind_int64(store_insert_stmt, 2, getpid());
    sqlite3_bind_int64(store_insert_stmt, 3, info.model_id);
    bind_text(4, field_text(info.model));
    bind_text(5, field_text(info.ip_addr));
    bind_text(6, field_text(info.mac_addr));
    sqlite3_bind_int(store_insert_stmt, 7, info.brand_id);
    sqlite3_bind_int(store_insert_stmt, 8, info.port);
    sqlite3_bind_blob(store_insert_stmt, 9, &info, sizeof info, SQLITE_TRANSIENT);
    int rc = sqlite3_step(store_insert_stmt);
    sqlite3_reset(store_insert_stmt);
    return rc == SQLITE_DONE ? "" : failure("cannot insert");
}

void store_close()
{
    sqlite3_finalize(store_insert_stmt);
    store_insert_stmt = nullptr;
    sqlite3_close(store_db);
    store_db = nullptr;
}

int msas_init_onvif()
{
    std::string why = store_open(settings().store_path);
    if (why.empty())
        return 0;
    log_Debug("[msas] store %s unavailable, findings are not kept: %s",
              settings().store_path.c_str(), why.c_str());
    return -1;
}

int msas_store_found_media_source_onvif(TMediaSourceDevInfo* info)
{
    if (info == nullptr)
        return -1;
    std::string why = store_insert(*info);
    if (why.empty())
        return 0;
    log_Debug("[msas] %s (%s) not stored: %s", std::string(field_text(info->ip_addr)).c_str(),
              std::string(field_text(info->mac_addr)).c_str(), why.c_str());
    return -1;
}

int msas_uninit_onvif()
{
    store_close();
    return 0;
}
