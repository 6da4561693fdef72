#include "host/store/store_reading.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"

// The store read-only, and why its table cannot be read if it cannot.
static sqlite3* open_store(const std::string& name, int flags, std::string& why)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READONLY | flags, nullptr) != SQLITE_OK) {
        why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    why = sqlite_run(db, "SELECT 1 FROM found_media_sources LIMIT 0");
    return db;
}

// A store in WAL mode is read through a -shm file beside it, which a folder
// that cannot be written keeps from being made or written. With no log
// left there (a WAL or a rollback journal that holds writes), the store is
// its one file and no writer can change it through this folder: SQLite may
// read it as immutable, without the -shm. Returns the log that holds
// writes, which the store cannot be read without.
static std::string log_with_writes(const std::string& path)
{
    struct stat log;
    for (const char* suffix : {"-wal", "-journal"})
        if (stat((path + suffix).c_str(), &log) == 0 && log.st_size > 0)
            return path + suffix;
    return "";
}

static bool folder_writable(const std::string& path)
{
    std::string folder = path.substr(0, path.find_last_of('/') + 1);
    return access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
}

// As a URI: the characters that a URI reserves are percent-encoded.
static std::string immutable_uri(const std::string& path)
{
    std::string uri = path.compare(0, 1, "/") == 0 ? "file://" : "file:";
    for (char c : path)
        uri += c == '%' ? "%25" : c == '?' ? "%3F" : c == '#' ? "%23" : std::string(1, c);
    return uri + "?immutable=1";
}

sqlite3* store_open_for_reading(const std::string& path, std::string& why)
{
    sqlite3* db = open_store(path, 0, why);
    int failed = db && !why.empty() ? sqlite3_errcode(db) : SQLITE_OK;
    if ((failed == SQLITE_CANTOPEN || failed == SQLITE_READONLY) && !folder_writable(path)) {
        std::string log = log_with_writes(path);
        if (!log.empty()) {
            why = log + " holds writes not yet in the store, and its folder cannot be written: copy the store"
                        " with it to a folder that can be";
        } else {
            sqlite3_close(db);
            db = open_store(immutable_uri(path), SQLITE_OPEN_URI, why);
        }
    }
    if (why.empty())
        return db;
    sqlite3_close(db);
    return nullptr;
}

std::string store_upgrade_at(const std::string& path, const std::function<void(const std::string&)>& say)
{
    sqlite3* db = nullptr;
    std::string why;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        why = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_busy_timeout(db, 10000);  // a run's writes are short
    if (why.empty())
        why = store_upgrade(db, say);
    sqlite3_close(db);
    return why;
}
