// For bench/store: sets up (and so migrates) a store as a run's first open
// does, then deletes the rows of runs before a cutoff as a run does, and
// says how long each took.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>

#include "host/store/media_source_store.h"
#include "host/store/store_schema.h"

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: camscout_store_bench STORE [CUTOFF]\n", stderr);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    std::string why = store_open(argv[1]);
    store_close();
    std::printf("set-up %.2f s %s\n", seconds_since(start), why.c_str());
    if (argc < 3 || !why.empty())
        return why.empty() ? 0 : 1;
    sqlite3* db = nullptr;
    sqlite3_open(argv[1], &db);
    start = std::chrono::steady_clock::now();
    long long deleted = store_expire(db, argv[2], false, start + std::chrono::minutes(5), why);
    std::printf("expiry %.2f s, %lld rows deleted %s\n", seconds_since(start), deleted, why.c_str());
    sqlite3_close(db);
    return why.empty() ? 0 : 1;
}
