// What the platform tests share: the store and log that CTest points into
// the build tree, emptied before a test and read after it.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

static const char* const store_path = getenv("CAMSCOUT_STORE");
static const char* const log_path = getenv("CAMSCOUT_LOG");

// No store, WAL files or log; false when CTest did not name them.
static bool start_afresh()
{
    if (store_path == nullptr || log_path == nullptr)
        return false;
    std::filesystem::create_directories(std::filesystem::path(store_path).parent_path());
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(std::string(store_path) + suffix);
    std::filesystem::remove(log_path);
    return true;
}

static std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The log once it holds text, which another process may still be writing,
// or as it is after 5 s.
[[maybe_unused]] static std::string log_with(const std::string& text)
{
    std::string log = read_file(log_path);
    for (int i = 0; i < 100 && log.find(text) == std::string::npos; ++i, log = read_file(log_path))
        usleep(50 * 1000);
    return log;
}

// The first column of each row the query gives, read from the store at path.
[[maybe_unused]] static std::vector<std::string> rows(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    std::vector<std::string> out;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK)
        while (sqlite3_step(st) == SQLITE_ROW)
            out.emplace_back(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}
