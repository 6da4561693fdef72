// For bench/central_many: one recorder's part. "make" sets up a new store
// for recorder-NUMBER with one run of CAMERAS finds, stored as a run
// stores them; "forward" opens a store, says "ready", waits for standard
// input to close (the script closes it for every recorder at once) and
// forwards once, as a run ends, then says how long that took.
#include <poll.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/store/media_source_store.h"
#include "host/store/sqlite_query.h"
#include "host/store/store_identity.h"
#include "host/store/store_schema.h"
#include "host/store/store_sightings.h"

// One run's finds of cameras that this recorder alone sees: its number in
// the MAC and IP addresses, a find every 5 ms from an hour ago.
static std::string one_run(int recorder, long cameras)
{
    std::string n = std::to_string(recorder);
    return "INSERT INTO found_pending (found_at, run_pid, model_id, model, ip_addr, mac_addr, brand_id, port, record,"
           " run_started) WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c WHERE i < " +
           std::to_string(cameras) + " - 1) SELECT strftime('%Y-%m-%dT%H:%M:%f', 'now', '-1 hour', '+' || (2 + i * 0.005)"
           " || ' seconds') || 'Z', 4000 + " + n + ", (31 << 32) | 862, 'DS-2CD2187G2H', '10.' || " + n +
           " || '.' || (i / 256) || '.' || (i % 256), printf('02:c7:%02x:00:%02x:%02x', " + n +
           ", i / 256, i % 256), 31, 80, randomblob(288), strftime('%Y-%m-%dT%H:%M:%f', 'now', '-1 hour') || 'Z' FROM c";
}

static int make(const char* path, int number, long cameras)
{
    sqlite3* db = nullptr;
    std::string why = sqlite3_open(path, &db) == SQLITE_OK ? "" : "cannot open";
    if (why.empty())
        why = store_create(db);
    if (why.empty())
        why = store_identity_set_up(db, "recorder-" + std::to_string(number));
    if (why.empty())
        why = sqlite_run(db, one_run(number, cameras));
    if (why.empty())
        why = store_move_pending(db);
    sqlite3_close(db);
    if (!why.empty())
        std::fprintf(stderr, "camscout_central_bench: %s: %s\n", path, why.c_str());
    return why.empty() ? 0 : 1;
}

// Waits at most a minute for the script to close standard input.
static bool released()
{
    pollfd in{0, POLLIN, 0};
    char byte;
    return poll(&in, 1, 60000) == 1 && read(0, &byte, 1) == 0;
}

static int forward(const char* path, const char* conninfo)
{
    if (!store_open(path).empty()) {
        std::fprintf(stderr, "camscout_central_bench: %s: no store\n", path);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    if (!released()) {
        std::fputs("camscout_central_bench: not released within a minute\n", stderr);
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    store_forward(conninfo);
    std::printf("took %.3f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    store_close();
    return 0;
}

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make" && argc == 5)
        return make(argv[2], std::atoi(argv[3]), std::atol(argv[4]));
    if (mode == "forward" && argc == 4)
        return forward(argv[2], argv[3]);
    std::fputs("usage: camscout_central_bench make STORE NUMBER CAMERAS\n"
               "       camscout_central_bench forward STORE CONNINFO\n", stderr);
    return 2;
}
