// The store's set-up, migration and expiry on small stores in memory.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"

static const auto now = std::chrono::steady_clock::now;

struct store : ::testing::Test {
    sqlite3* db = nullptr;
    void SetUp() override { sqlite3_open(":memory:", &db); }
    void TearDown() override { sqlite3_close(db); }
    std::string column(const char* sql)  // one text per row, joined by spaces
    {
        std::string out, why = sqlite_run(db, std::string("CREATE TEMP TABLE shown AS ") + sql);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM shown", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            out += (out.empty() ? "" : " ") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        sqlite_run(db, "DROP TABLE temp.shown");
        return why.empty() ? out : why;
    }
};

// A migration in parts stopped in the middle (by a failed write, as a kill
// would) goes on from its last part next time, to the same runs.
TEST_F(store, first_version_rows_become_runs_of_one_process_and_one_run_length_also_when_stopped)
{
    struct { long long part_rows, stop_at_id; const char* first_set_up; } cases[] = {
        {200000, 0, ""},
        {2, 3, "still migrating, 2 of 7 rows done, continues next run: power cut"},
        {1, 1, "still migrating, 0 of 7 rows done, continues next run: power cut"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.part_rows);
        sqlite_run(db, "DROP TABLE IF EXISTS found_media_sources; DROP VIEW IF EXISTS media_sources; PRAGMA user_version = 0");
        ASSERT_EQ(sqlite_run(db, "CREATE TABLE found_media_sources (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER,"
                                 " model_id INTEGER, model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER,"
                                 " record BLOB);"
                                 "INSERT INTO found_media_sources (found_at, run_pid) VALUES ('2026-01-01T00:00:00.100Z', 812),"
                                 " ('2026-01-01T00:00:59.000Z', 812), ('2026-01-01T00:00:10.000Z', 813),"
                                 " ('2026-01-05T00:00:00.500Z', 812), ('2026-01-05T00:01:02.000Z', 812),"
                                 " ('2026-01-05T00:00:01.000Z', 812), ('2026-01-05T00:01:20.000Z', 812);"
                                 "CREATE TEMP TRIGGER stop BEFORE UPDATE ON found_media_sources WHEN new.id = " +
                                 std::to_string(c.stop_at_id) + " BEGIN SELECT raise(ABORT, 'power cut'); END"), "");
        EXPECT_EQ(store_set_up(db, now(), c.part_rows), c.first_set_up);
        sqlite_run(db, "DROP TRIGGER temp.stop");
        ASSERT_EQ(store_set_up(db, now(), c.part_rows), "");
        EXPECT_EQ(column("SELECT substr(run_started, 9, 11) FROM found_media_sources ORDER BY id"),
                  "01T00:00:00 01T00:00:00 01T00:00:10 05T00:00:00 05T00:00:00 05T00:00:00 05T00:01:20");
        EXPECT_EQ(column("SELECT user_version || ' ' || count(name) FROM pragma_user_version LEFT JOIN sqlite_master"
                         " ON name LIKE 'first_version%'"), "3 0");
    }
}

TEST_F(store, a_half_made_store_or_a_stale_version_is_finished_and_a_later_one_refused)
{
    ASSERT_EQ(store_set_up(db, now()), "");
    ASSERT_EQ(sqlite_run(db, "DROP INDEX found_media_sources_runs; PRAGMA user_version = 0"), "");
    EXPECT_EQ(store_set_up(db, now()), "");
    EXPECT_EQ(column("SELECT count(*) || ' ' || (SELECT user_version FROM pragma_user_version) FROM sqlite_master"
                     " WHERE type = 'index'"), "3 3");
    sqlite_run(db, "PRAGMA user_version = 7");
    EXPECT_EQ(store_set_up(db, now()), "made by a later version of onvif_camscout (7)");
}

TEST_F(store, a_store_locked_by_another_process_is_busy_not_new)
{
    std::string path = (std::filesystem::temp_directory_path() / ("camscout-busy-" + std::to_string(getpid()))).string();
    sqlite3* other = nullptr;
    sqlite3_open(path.c_str(), &other);
    sqlite3_close(db);
    sqlite3_open(path.c_str(), &db);
    ASSERT_EQ(sqlite_run(other, "CREATE TABLE found_media_sources (id); BEGIN EXCLUSIVE"), "");
    EXPECT_EQ(store_set_up(db, now()), "busy: another process keeps it locked (database is locked)");
    sqlite3_close(other);
    std::filesystem::remove(path);
}

TEST_F(store, expiry_keeps_each_mac_addresss_newest_run_and_rows_not_forwarded)
{
    ASSERT_EQ(store_set_up(db, now()), "");
    // id: mac, run, forwarded
    ASSERT_EQ(sqlite_run(db, "INSERT INTO found_media_sources (mac_addr, run_started, forwarded) VALUES"
                             " ('a', '2026-01-01', 1), ('a', '2026-03-01', 1),"  // 1 goes: a is seen later
                             " ('b', '2026-01-01', 1),"                          // 3 stays: b's newest
                             " ('c', '2026-01-01', 0), ('c', '2026-03-01', 0),"  // 4 stays: not forwarded
                             " ('d', '2026-02-01', 1), ('d', '2026-03-01', 1)"), "");  // 6 stays: not old
    std::string why;
    EXPECT_EQ(store_expire(db, "2026-02-01", true, now() + std::chrono::seconds(5), why), 1);
    EXPECT_EQ(column("SELECT id FROM found_media_sources ORDER BY id"), "2 3 4 5 6 7");
    EXPECT_EQ(store_expire(db, "2026-02-01", false, now() + std::chrono::seconds(5), why), 1);
    EXPECT_EQ(column("SELECT id FROM found_media_sources ORDER BY id"), "2 3 5 6 7");
    EXPECT_EQ(why, "");
}
