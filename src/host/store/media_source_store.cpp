// The media-source library for a generic Linux host: a SQLite store of
// each device's facts and of each run's sightings of it. A store that cannot be opened or written is reported
// with an "[msas]" line and never ends or stalls the discovery run.
#include "host/store/media_source_store.h"

#include <pthread.h>
#include <sqlite3.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <limits>
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
#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"
#include "host/log/utc_time.h"
#include "host/store/store_sightings.h"
#include "run/text_field.h"

static sqlite3* store_db = nullptr;          // open store, or null
static sqlite3_stmt* store_insert_stmt = nullptr;
static bool store_current = false;           // at this version: finds move on at once

static const char store_insert_sql[] =
    "INSERT INTO found_pending (found_at, run_pid, model_id, model, ip_addr,"
    " mac_addr, brand_id, port, record, run_started) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// Readers never block a writer in WAL mode; another writer may, briefly.
static const int store_busy_ms = 250;

// The slow work (a migration's parts, expiry) stops at this time, checked
// by SQLite as it goes; finds are never written under it.
static std::atomic<long long> slow_work_until{std::numeric_limits<long long>::max()};
static bool doing_slow_work = false;  // only the writer uses the connection

static long long steady_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

static int stop_slow_work(void*)
{
    return doing_slow_work && steady_ms() >= slow_work_until.load();
}

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
    sqlite3_progress_handler(store_db, 1000, stop_slow_work, nullptr);
    // A new store gives the space of deleted rows back bit by bit; that
    // can only be chosen before its first table.
    sqlite_run(store_db, "PRAGMA auto_vacuum=INCREMENTAL; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    std::string why = sqlite_run(store_db, store_pending_table);
    if (why.empty() && sqlite3_prepare_v2(store_db, store_insert_sql, -1, &store_insert_stmt, nullptr) != SQLITE_OK)
        why = sqlite3_errmsg(store_db);
    if (!why.empty()) {
        store_close();
        return "cannot set up " + path + ": " + why;
    }
    return "";
}

std::string store_catch_up(std::chrono::steady_clock::time_point deadline)
{
    if (store_db == nullptr)
        return "store not open";
    std::string why = store_current ? "" : store_set_up(store_db, deadline);
    if (why.empty())
        why = store_move_pending(store_db);
    sqlite3_busy_timeout(store_db, store_busy_ms);
    store_current = why.empty();
    return why;
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
    // Stored; one that cannot move on yet waits for the next run.
    if (store_current)
        store_current = store_move_pending(store_db).empty();
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
    store_current = false;
}

// The discovery worker only queues what it finds; a writer thread stores
// it, so that a busy, slow or locked store never stalls the worker.
static std::mutex queue_lock;
static std::condition_variable queue_ready;
static std::vector<found_source> queue;   // found, not yet written
// Far more than a run finds (5000 cameras answering both Probes): what a
// flooding sender sends past it is counted, not held.
static const size_t queue_limit = 20000;
static size_t queue_refused = 0;          // finds refused with the queue full
static bool queue_closing = false;        // msas_uninit_onvif has begun
static std::string run_started;           // when msas_init_onvif began this run
static pthread_t writer;
static bool writer_started = false;       // writer is running and must be joined
static std::chrono::steady_clock::time_point give_up;  // set when closing begins

// How long the end of the run waits for a store that stays locked.
static const auto final_flush_limit = std::chrono::seconds(3);
static const auto retry_pause = std::chrono::milliseconds(100);
// After the run, the slow work that is left goes on this long, the finds
// written first.
static const auto closing_slow_limit = std::chrono::seconds(5);

// What the writer is at, for the line of an end of the run that cuts it short.
static std::atomic<const char*> writer_doing{"writing the finds"};

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

// Writes what is queued; with wait, until the run has ended and all is written.
static void write_queued(bool wait, bool& reported)
{
    std::unique_lock<std::mutex> lock(queue_lock);
    for (;;) {
        if (wait)
            queue_ready.wait(lock, [] { return !queue.empty() || queue_closing; });
        if (queue.empty())
            return;
        std::vector<found_source> batch;
        batch.swap(queue);
        lock.unlock();
        std::string why = write_batch(batch, reported);
        if (!why.empty())
            log_Debug("[msas] %zu found media sources not stored in %s: %s", batch.size(),
                      settings().store_path.c_str(), why.c_str());
        else if (reported)
            log_Debug("[msas] %s writable again", settings().store_path.c_str());
        reported = !why.empty();
        lock.lock();
    }
}

// Old runs go once the store is current, by the time of the newest run
// before this one. The writer is the discovery process's child, and this
// run's finds carry that process's id.
static const auto expire_limit = std::chrono::seconds(2);

static void expire_old_rows()
{
    if (settings().retention_days <= 0)
        return;
    auto now = std::chrono::system_clock::now().time_since_epoch();
    long long now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    std::string why;
    writer_doing = "deleting old runs";
    store_expire(store_db, now_ms, settings().retention_days * 86400000LL, !settings().central.empty(),
                 getppid(), std::chrono::steady_clock::now() + expire_limit, why);
    sqlite3_busy_timeout(store_db, store_busy_ms);
    if (!why.empty())
        log_Debug("[msas] cannot delete the runs older than %d days from %s: %s", settings().retention_days,
                  settings().store_path.c_str(), why.c_str());
}

// The slow work: the store brought to this version a part at a time, the
// finds written between parts, then the waiting finds moved and old runs
// deleted. Returns "" when all is done, or what was left and why.
static std::string catch_up(bool& reported)
{
    if (store_db == nullptr)
        return "store not open";
    doing_slow_work = true;
    std::string why;
    for (;;) {
        writer_doing = "migrating the store";
        why = store_catch_up(std::chrono::steady_clock::now());
        writer_doing = "writing the finds";
        doing_slow_work = false;
        write_queued(false, reported);
        doing_slow_work = true;
        if (why.empty() || why.rfind("still migrating", 0) != 0 || stop_slow_work(nullptr))
            break;
    }
    if (why.empty() && store_identity(store_db).empty())
        why = store_identity_set_up(store_db, settings().recorder);
    if (why.empty())
        expire_old_rows();
    doing_slow_work = false;
    return why;
}

static void* write_queued_sources(void*)
{
    bool reported = false;  // one "[msas]" line per trouble, not one per try
    std::string why = try_write({});
    if (!why.empty()) {
        log_Debug("[msas] cannot open %s, will retry when there is something to store: %s",
                  settings().store_path.c_str(), why.c_str());
        reported = true;
    }
    std::string left = catch_up(reported);
    write_queued(true, reported);
    slow_work_until = steady_ms() + std::chrono::milliseconds(closing_slow_limit).count();
    if (!left.empty() && store_db != nullptr)
        left = catch_up(reported);
    if (!left.empty() && store_db != nullptr)
        log_Debug("[msas] setting up %s stopped, the finds are stored and wait for a later run: %s",
                  settings().store_path.c_str(), left.c_str());
    // Everything found is stored locally first; the central copy follows.
    writer_doing = "forwarding to the central inventory";
    if (!settings().central.empty() && store_db != nullptr && left.empty())
        forward_to_central(store_db, store_identity(store_db), settings().central);
    return nullptr;
}

int store_writer_begin()
{
    std::lock_guard<std::mutex> lock(queue_lock);
    if (writer_started)
        return 0;
    queue_closing = false;
    queue_refused = 0;
    slow_work_until = std::numeric_limits<long long>::max();
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
    if (queue.size() >= queue_limit) {
        ++queue_refused;
        return -1;
    }
    queue.push_back(found);
    queue_ready.notify_one();
    return 0;
}

// The writer's own worst case from the end of the run: the last local
// write, the slow work left, then forwarding, whose budget some libpq
// waits (a slow password hash the server asks for, a service file's host
// name looked up) do not keep. Every find is written before the rest.
static const auto writer_join_limit = final_flush_limit + closing_slow_limit +
                                      std::chrono::seconds(central_forward_budget_seconds) + std::chrono::seconds(2);
const std::chrono::seconds store_writer_end_limit = writer_join_limit;

// A writer still in libpq past its limit cannot be stopped; the process
// then ends after its last line without destroying what the writer uses.
static void end_without_teardown()
{
    std::fflush(nullptr);
    _exit(EXIT_SUCCESS);
}

// False when the writer is still at work past its limit.
static bool join_writer()
{
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += std::chrono::duration_cast<std::chrono::seconds>(writer_join_limit).count();
    if (pthread_clockjoin_np(writer, nullptr, CLOCK_MONOTONIC, &until) != ETIMEDOUT)
        return true;
    // The writer holds the lock only between its waits, never in a slow call.
    std::unique_lock<std::mutex> lock(queue_lock, std::try_to_lock);
    size_t lost = lock.owns_lock() ? queue.size() : 0;
    log_Debug("[msas] %s cut short after %lld s; the rest waits for a later run%s", writer_doing.load(),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(writer_join_limit).count()),
              lost == 0 ? "" : ("; " + std::to_string(lost) + " queued finds are lost").c_str());
    std::atexit(end_without_teardown);
    return false;
}

int store_writer_end()
{
    {
        std::lock_guard<std::mutex> lock(queue_lock);
        if (!writer_started)
            return 0;
        queue_closing = true;
        if (queue_refused > 0)
            log_Debug("[msas] %zu found media sources not stored: more than %zu were waiting to be written",
                      queue_refused, queue_limit);
        give_up = std::chrono::steady_clock::now() + final_flush_limit;
        slow_work_until = steady_ms();  // the finds first
    }
    queue_ready.notify_all();
    if (!join_writer())
        return -1;
    writer_started = false;
    store_close();
    return 0;
}
