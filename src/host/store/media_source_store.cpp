// The media-source library for a generic Linux host: one SQLite row per
// found media source. A store that cannot be opened or written is reported
// with an "[msas]" line and never ends or stalls the discovery run.
#include "host/store/media_source_store.h"

#include <pthread.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <cstring>
#include <mutex>

#include "host/central/central_inventory.h"
#include "host/log/utc_time.h"
#include "platform/os_calls.h"
#include "platform/platform.h"
#include "host/settings/settings.h"
#include "host/store/store_identity.h"
#include "host/store/store_schema.h"
#include "run/text_field.h"

static sqlite3* store_db = nullptr;          // open store, or null
static sqlite3_stmt* store_insert_stmt = nullptr;

static const char store_insert_sql[] =
    "INSERT INTO found_media_sources (found_at, run_pid, model_id, model, ip_addr,"
    " mac_addr, brand_id, port, record, run_started) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// Readers never block a writer in WAL mode; another writer may, briefly.
static const int store_busy_ms = 250;

// The first set-up of a large first-version store takes seconds; a store
// that another writer keeps busy longer is reported as busy.
static const auto set_up_limit = std::chrono::seconds(2);

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
    // A new store gives the space of deleted rows back bit by bit; that
    // can only be chosen before its first table.
    sqlite3_exec(store_db, "PRAGMA auto_vacuum=INCREMENTAL; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;",
                 nullptr, nullptr, nullptr);
    std::string why = store_set_up(store_db, std::chrono::steady_clock::now() + set_up_limit);
    if (why.empty())
        why = store_identity_set_up(store_db, settings().recorder);
    if (why.empty() && sqlite3_prepare_v2(store_db, store_insert_sql, -1, &store_insert_stmt, nullptr) != SQLITE_OK)
        why = sqlite3_errmsg(store_db);
    if (!why.empty()) {
        store_close();
        return "cannot set up " + path + ": " + why;
    }
    return "";
}

static void bind_text(int column, std::string_view text)
{
    sqlite3_bind_text(store_insert_stmt, column, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
}

static bool insert_row(const found_source& s)
{
    const TMediaSourceDevInfo& info = s.info;
    sqlite3_reset(store_insert_stmt);
    bind_text(1, s.found_at);
    sqlite3_bind_int64(store_insert_stmt, 2, s.run_pid);
    sqlite3_bind_int64(store_insert_stmt, 3, info.model_id);
    bind_text(4, field_text(info.model));
    bind_text(5, field_text(info.ip_addr));
    bind_text(6, field_text(info.mac_addr));
    sqlite3_bind_int(store_insert_stmt, 7, info.brand_id);
    sqlite3_bind_int(store_insert_stmt, 8, info.port);
    sqlite3_bind_blob(store_insert_stmt, 9, &info, sizeof info, SQLITE_TRANSIENT);
    bind_text(10, s.run_started);
    int rc = sqlite3_step(store_insert_stmt);
    sqlite3_reset(store_insert_stmt);
    return rc == SQLITE_DONE;
}

std::string store_insert(const std::vector<found_source>& sources)
{
    if (store_insert_stmt == nullptr)
        return "store not open";
    if (sqlite3_exec(store_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure("cannot begin");
    for (const found_source& s : sources) {
        if (!insert_row(s)) {
            std::string why = failure("cannot insert");
            sqlite3_exec(store_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return why;
        }
    }
    if (sqlite3_exec(store_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::string why = failure("cannot commit");
        sqlite3_exec(store_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return why;
    }
    return "";
}

std::string store_insert(const TMediaSourceDevInfo& info)
{
    std::string now = utc_timestamp();
    return store_insert(std::vector<found_source>{{info, now, getpid(), now}});
}

void store_close()
{
    sqlite3_finalize(store_insert_stmt);
    store_insert_stmt = nullptr;
    sqlite3_close(store_db);
    store_db = nullptr;
}

// The discovery worker only queues what it finds; a writer thread stores
// it, so that a busy, slow or locked store never stalls the worker.
static std::mutex queue_lock;
static std::condition_variable queue_ready;
static std::vector<found_source> queue;   // found, not yet written
static bool queue_closing = false;        // msas_uninit_onvif has begun
static std::string run_started;           // when msas_init_onvif began this run
static pthread_t writer;
static bool writer_started = false;       // writer is running and must be joined
static std::chrono::steady_clock::time_point give_up;  // set when closing begins

// How long the end of the run waits for a store that stays locked.
static const auto final_flush_limit = std::chrono::seconds(3);
static const auto retry_pause = std::chrono::milliseconds(100);

// Opens the store if need be and writes the batch.
static std::string try_write(const std::vector<found_source>& batch)
{
    if (store_insert_stmt == nullptr) {
        std::string why = store_open(settings().store_path);
        if (!why.empty())
            return why;
    }
    return batch.empty() ? "" : store_insert(batch);
}

// Writes one batch, retrying while the store refuses, until the end of the
// run has waited final_flush_limit for all batches together. Returns what failed, or an empty string.
static std::string write_batch(const std::vector<found_source>& batch, bool& reported)
{
    for (;;) {
        std::string why = try_write(batch);
        if (why.empty())
            return "";
        if (!reported)
            log_Debug("[msas] cannot write to %s yet, retrying: %s", settings().store_path.c_str(),
                      why.c_str());
        reported = true;
        std::unique_lock<std::mutex> lock(queue_lock);
        if (queue_closing && std::chrono::steady_clock::now() >= give_up)
            return why;
        queue_ready.wait_for(lock, retry_pause);
    }
}

// Old rows go while the run's first answers are still arriving; what
// the run finds meanwhile waits in the queue.
static const auto expire_limit = std::chrono::seconds(2);

static void expire_old_rows()
{
    if (settings().retention_days <= 0)
        return;
    auto now = std::chrono::system_clock::now().time_since_epoch();
    long long now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    std::string cutoff = format_utc(now_ms - settings().retention_days * 86400000LL), why;
    store_expire(store_db, cutoff, !settings().central.empty(), std::chrono::steady_clock::now() + expire_limit, why);
    if (!why.empty())
        log_Debug("[msas] cannot delete the rows older than %d days from %s: %s", settings().retention_days,
                  settings().store_path.c_str(), why.c_str());
}

static void* write_queued_sources(void*)
{
    bool reported = false;  // one "[msas]" line per trouble, not one per try
    std::string why = try_write({});
    if (!why.empty()) {
        log_Debug("[msas] cannot open %s, will retry when there is something to store: %s",
                  settings().store_path.c_str(), why.c_str());
        reported = true;
    } else {
        expire_old_rows();
    }
    std::unique_lock<std::mutex> lock(queue_lock);
    for (;;) {
        queue_ready.wait(lock, [] { return !queue.empty() || queue_closing; });
        if (queue.empty())
            break;
        std::vector<found_source> batch;
        batch.swap(queue);
        lock.unlock();
        why = write_batch(batch, reported);
        if (!why.empty())
            log_Debug("[msas] %zu found media sources not stored in %s: %s", batch.size(),
                      settings().store_path.c_str(), why.c_str());
        else if (reported)
            log_Debug("[msas] %s writable again", settings().store_path.c_str());
        reported = !why.empty();
        lock.lock();
    }
    lock.unlock();
    // Everything found is stored locally first; the central copy follows.
    if (!settings().central.empty() && store_db != nullptr)
        forward_to_central(store_db, store_identity(store_db), settings().central);
    return nullptr;
}

int store_writer_begin()
{
    std::lock_guard<std::mutex> lock(queue_lock);
    if (writer_started)
        return 0;
    queue_closing = false;
    run_started = utc_timestamp();
    // Without a writer the run still goes on; what it finds is only logged.
    int err = os_thread_create(&writer, write_queued_sources, nullptr);
    if (err != 0) {
        log_Debug("[msas] cannot start the store writer, nothing will be stored in %s: %s",
                  settings().store_path.c_str(), std::strerror(err));
        return -1;
    }
    writer_started = true;
    return 0;
}

int store_writer_put(const found_source& found)
{
    std::lock_guard<std::mutex> lock(queue_lock);
    if (!writer_started || queue_closing) {
        log_Debug("[msas] %s (%s) not stored: the store is not open",
                  std::string(field_text(found.info.ip_addr)).c_str(),
                  std::string(field_text(found.info.mac_addr)).c_str());
        return -1;
    }
    queue.push_back(found);
    queue_ready.notify_one();
    return 0;
}

// The writer's own worst case from the end of the run: the last local
// write, an expiry or a first set-up still going, then forwarding, whose
// budget some libpq waits (a slow password hash the server asks for, a
// service file's host name looked up) do not keep. Every local row is
// written before forwarding begins, so past this only the central copy waits.
static const auto writer_join_limit = final_flush_limit + expire_limit + set_up_limit +
                                      std::chrono::seconds(central_forward_budget_seconds) + std::chrono::seconds(3);

// False when the writer is still forwarding past its limit: it is left to
// end with the process, holding the store, which is then not closed.
static bool join_writer()
{
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += std::chrono::duration_cast<std::chrono::seconds>(writer_join_limit).count();
    if (pthread_clockjoin_np(writer, nullptr, CLOCK_MONOTONIC, &until) != ETIMEDOUT)
        return true;
    log_Debug("[msas] forwarding to the central inventory cut short after %lld s; the rows wait for a later run",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(writer_join_limit).count()));
    return false;
}

int store_writer_end()
{
    {
        std::lock_guard<std::mutex> lock(queue_lock);
        if (!writer_started)
            return 0;
        queue_closing = true;
        give_up = std::chrono::steady_clock::now() + final_flush_limit;
    }
    queue_ready.notify_all();
    if (!join_writer())
        return -1;
    writer_started = false;
    store_close();
    return 0;
}
