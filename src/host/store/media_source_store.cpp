// The media-source library's store for a generic Linux host: a SQLite store
// of each device's facts and of each run's sightings of it. Every write is
// committed in WAL mode before the next message is read, so a store process
// ended at its deadline loses nothing it had written.
#include "host/store/media_source_store.h"

#include <sqlite3.h>

#include "host/log/utc_time.h"
#include "host/settings/settings.h"
#include "host/store/sqlite_query.h"
#include "host/store/store_identity.h"
#include "host/store/store_schema.h"
#include "host/store/store_sightings.h"
#include "host/log/logger.h"
#include "run/text_field.h"

static sqlite3* store_db = nullptr;  // open store, or null
static sqlite3_stmt* insert_stmt = nullptr;

static const char insert_sql[] =
    "INSERT INTO found_pending (found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record,"
    " run_started) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

std::string store_open(const std::string& path)
{
    store_close();
    std::string why;
    if (sqlite3_open(path.c_str(), &store_db) != SQLITE_OK)
        why = store_db ? sqlite3_errmsg(store_db) : "out of memory";
    // A new store gives the space of deleted rows back bit by bit; that
    // can only be chosen before its first table. A run's sorts are small and
    // the confined store process may open no temporary file.
    if (why.empty())
        why = sqlite_run(store_db, "PRAGMA auto_vacuum=INCREMENTAL; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                                   " PRAGMA temp_store=MEMORY");
    sqlite3_busy_timeout(store_db, 1000);
    if (why.empty())
        why = store_create(store_db);
    if (why.empty() && sqlite3_prepare_v2(store_db, insert_sql, -1, &insert_stmt, nullptr) != SQLITE_OK)
        why = sqlite3_errmsg(store_db);
    if (!why.empty())
        store_close();
    return why.empty() ? "" : "cannot open " + path + ": " + why;
}

static void bind_text(int column, std::string_view text)
{
    sqlite3_bind_text(insert_stmt, column, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

static bool insert_row(const found_source& s)
{
    const TMediaSourceDevInfo& info = s.info;
    sqlite3_reset(insert_stmt);
    bind_text(1, s.found_at);
    sqlite3_bind_int64(insert_stmt, 2, s.run_pid);
    sqlite3_bind_int64(insert_stmt, 3, info.model_id);
    bind_text(4, field_text(info.model));
    bind_text(5, field_text(info.ip_addr));
    bind_text(6, field_text(info.mac_addr));
    sqlite3_bind_int(insert_stmt, 7, info.brand_id);
    sqlite3_bind_int(insert_stmt, 8, info.port);
    sqlite3_bind_blob(insert_stmt, 9, &info, sizeof info, SQLITE_TRANSIENT);
    bind_text(10, s.run_started);
    return sqlite3_step(insert_stmt) == SQLITE_DONE;
}

std::string store_write(const std::vector<found_source>& finds, std::chrono::steady_clock::time_point by)
{
    sqlite_wait_until(store_db, by);
    std::string why = sqlite_run(store_db, "BEGIN IMMEDIATE");
    for (std::size_t i = 0; why.empty() && i < finds.size(); ++i)
        if (!insert_row(finds[i]))
            why = sqlite3_errmsg(store_db);
    sqlite3_reset(insert_stmt);
    if (why.empty())
        why = sqlite_run(store_db, "COMMIT");
    if (!why.empty())
        sqlite_run(store_db, "ROLLBACK");
    return why;
}

static std::string column_bytes(sqlite3_stmt* st, int i)
{
    const char* b = static_cast<const char*>(sqlite3_column_blob(st, i));
    return std::string(b ? b : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
}

// The rows forwarding has not had yet, oldest first, in camscout.found's
// order after their id.
static std::vector<forward_row> unforwarded_batch()
{
    static const char sql[] =
        "SELECT id, id, coalesce(found_at, ''), run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record,"
        " run_started FROM found_media_sources WHERE id > (SELECT up_to FROM forwarding) ORDER BY id LIMIT 500";
    std::vector<forward_row> batch;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(store_db, sql, -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW) {
            forward_row& row = batch.emplace_back(forward_row{sqlite3_column_int64(st, 0), {}});
            for (int i = 0; i < central_columns; ++i)
                if (sqlite3_column_type(st, i + 1) != SQLITE_NULL)
                    row.column[i] = column_bytes(st, i + 1);
        }
    sqlite3_finalize(st);
    return batch;
}

static std::string forwarded_up_to(long long last, std::chrono::steady_clock::time_point by)
{
    sqlite_wait_until(store_db, by);
    return sqlite_run(store_db, "UPDATE forwarding SET up_to = " + std::to_string(last) + " WHERE up_to < " +
                                    std::to_string(last));
}

forward_result store_end_run(long long run_pid)
{
    const platform_settings& s = settings();
    std::string why;
    if (store_version_of(store_db, why) != store_version && why.empty()) {
        log_Warning("[msas] %s is a store of an earlier version: this run's finds wait in it until"
                    " onvif_camscout_list --store %s --upgrade brings it up to date", s.store_path.c_str(),
                    s.store_path.c_str());
        return {0, "the finds wait for the store's upgrade"};
    }
    if (why.empty())
        why = store_move_pending(store_db, std::chrono::steady_clock::now() + std::chrono::seconds(3));
    if (why.empty() && store_identity(store_db).empty())  // the set-up's insert would wait for the write lock
        why = store_identity_set_up(store_db, s.recorder);
    if (!why.empty()) {
        log_Warning("[msas] the finds are stored in %s and wait there for a later run: %s", s.store_path.c_str(),
                    why.c_str());
        return {0, "the finds wait for a later run: " + why};
    }
    if (s.retention_days > 0)
        store_expire(store_db, utc_now_ms(), s.retention_days * 86400000LL, !s.central.empty(), run_pid,
                     std::chrono::steady_clock::now() + std::chrono::seconds(2), why);
    if (!why.empty())
        log_Warning("[msas] cannot delete the runs older than %d day%s from %s: %s", s.retention_days,
                    s.retention_days == 1 ? "" : "s", s.store_path.c_str(), why.c_str());
    // Everything found is stored locally first; the central copy follows.
    forward_result forwarded = s.central.empty() ? forward_result{} : store_forward(s.central);
    if (!forwarded.why.empty())
        forwarded.why = "forwarding: " + forwarded.why;
    return forwarded;
}

forward_result store_forward(const std::string& conninfo)
{
    return forward_to_central({unforwarded_batch, forwarded_up_to,
                        [] { return sqlite_integer(store_db, "SELECT count(*) FROM sightings WHERE id >"
                                                             " (SELECT up_to FROM forwarding)", 0); }},
                       store_identity(store_db), conninfo);
}

std::string store_record_outcome(const run_outcome& o)
{
    char* sql = sqlite3_mprintf("INSERT INTO run_outcomes VALUES (%Q, %.3f, %lld, %lld, %lld, %lld, %lld, %lld, %lld,"
                                " %lld, %Q)", o.started.c_str(), o.seconds, o.datagrams, o.drops, o.queue_bytes,
                                o.found, o.stored, o.no_mac, o.refused, o.forwarded, o.cut_short.c_str());
    sqlite_wait_until(store_db, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    std::string why = sql ? sqlite_run(store_db, sql) : "out of memory";
    sqlite3_free(sql);
    return why;
}

void store_close()
{
    sqlite3_finalize(insert_stmt);
    insert_stmt = nullptr;
    sqlite3_close(store_db);
    store_db = nullptr;
}
