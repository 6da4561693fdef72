// For bench/store: opens a store as a run does and upgrades it as the list
// tool does, then
// deletes the runs that a run at NOW_MS keeping KEEP_MS would delete, and
// says how long each took.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "host/store/media_source_store.h"
#include "host/store/store_reading.h"
#include "host/store/store_schema.h"

static double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 4) {
        std::fputs("usage: camscout_store_bench STORE [NOW_MS KEEP_MS]\n", stderr);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    std::string why = store_open(argv[1]);
    store_close();
    if (why.empty())
        why = store_upgrade_at(argv[1], [](const std::string&) {});
    std::printf("upgrade %.2f s %s\n", seconds_since(start), why.c_str());
    if (argc < 4 || !why.empty())
        return why.empty() ? 0 : 1;
    sqlite3* db = nullptr;
    sqlite3_open(argv[1], &db);
    start = std::chrono::steady_clock::now();
    long long deleted = store_expire(db, std::stoll(argv[2]), std::stoll(argv[3]), false, 0, start + std::chrono::minutes(5), why);
    std::printf("expiry %.2f s, %lld sightings deleted %s\n", seconds_since(start), deleted, why.c_str());
    sqlite3_close(db);
    return why.empty() ? 0 : 1;
}
