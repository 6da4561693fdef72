// The store's set-up, migration and expiry on small stores in memory.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"
#include "host/store/store_sightings.h"

struct store : ::testing::Test {
    sqlite3* db = nullptr;
    void SetUp() override { sqlite3_open(":memory:", &db); }
    void TearDown() override { sqlite3_close(db); }
    std::string column(const char* sql)  // one text per row, joined by spaces, or why not
    {
        sqlite3_stmt* st = nullptr;
        std::string out = sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK ? "" : sqlite3_errmsg(db);
        while (sqlite3_step(st) == SQLITE_ROW)
            out += (out.empty() ? "" : " ") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return out;
    }
    std::string upgrade() { return store_upgrade(db, [](const std::string&) {}); }
};

// Earlier versions' rows become compact: the first's grouped into runs by process
// and a run's length, a device's facts once per change, forwarding as far as it
// went, the same rows through the same tables. A stopped upgrade keeps its steps.
TEST_F(store, earlier_versions_rows_become_compact_with_the_same_answers_also_when_stopped)
{
    ASSERT_EQ(sqlite_run(db, "CREATE TABLE found_media_sources (id INTEGER PRIMARY KEY, found_at, run_pid, model_id, model,"
                             " ip_addr, mac_addr, brand_id, port, record); INSERT INTO found_media_sources (found_at, run_pid)"
                             " VALUES ('2026-01-01T00:00:00.100Z', 812), ('2026-01-01T00:00:59.000Z', 812),"
                             " ('2026-01-01T00:00:10.000Z', 813), ('2026-01-05T00:00:00.500Z', 812),"
                             " ('2026-01-05T00:01:02.000Z', 812), ('2026-01-05T00:00:01', 812),"
                             " ('2026-01-05T00:02:20.000Z', 812); CREATE TABLE runs (in_the_way)"), "");
    EXPECT_EQ(upgrade(), "table runs already exists");
    EXPECT_EQ(column("SELECT count(run_started) FROM found_media_sources"), "7");  // its first step kept
    sqlite_run(db, "DROP TABLE runs");
    ASSERT_EQ(upgrade(), "");
    EXPECT_EQ(column("SELECT id || substr(run_started, 9, 11) || substr(found_at, 12) FROM found_media_sources ORDER BY id"),
              "101T00:00:0000:00:00.100Z 201T00:00:0000:00:59.000Z 301T00:00:1000:00:10.000Z 405T00:00:0000:00:00.500Z "
              "505T00:00:0000:01:02.000Z 605T00:00:0000:00:01 705T00:02:2000:02:20.000Z");
    // A time keeps only its tail past what it shares with its run's start.
    EXPECT_EQ(column("SELECT coalesce(at, '-') FROM sightings ORDER BY id"), "59.000Z   1:02.000Z - ");
    sqlite3_close(db);
    sqlite3_open(":memory:", &db);  // a store of the version with runs and forwarding
    ASSERT_EQ(sqlite_run(db, "CREATE TABLE found_media_sources (id INTEGER PRIMARY KEY, found_at, run_pid, model_id, model,"
                             " ip_addr, mac_addr, brand_id, port, record, run_started, forwarded);"
                             "INSERT INTO found_media_sources (found_at, run_pid, mac_addr, ip_addr, run_started, forwarded)"
                             " VALUES ('2026-01-01T08:00:01.000Z', 5, 'a', '10.0.0.1', '2026-01-01T08:00:00.000Z', 1),"
                             " ('2026-01-01T08:00:01.500Z', 5, 'b', '10.0.0.2', '2026-01-01T08:00:00.000Z', 1),"
                             " ('2031-01-01T00:00:02.000Z', 6, 'a', '10.0.0.1', '2031-01-01T00:00:00.000Z', 1),"
                             " ('new', 7, 'a', '10.0.0.9', '2026-01-01T08:20:00.000Z', 0),"
                             " (NULL, 7, 'b', '10.0.0.2', '2026-01-01T08:20:00.000Z', 0)"), "");
    std::string all = "SELECT id || ' ' || coalesce(found_at, '-') || ' ' || run_pid || ' ' || mac_addr || ' ' || ip_addr"
                      " || ' ' || run_started || ' ' || forwarded FROM found_media_sources ORDER BY id";
    std::string before = column(all.c_str());
    ASSERT_EQ(upgrade(), "");
    EXPECT_EQ(column(all.c_str()), before);
    EXPECT_EQ(column("SELECT count(*) || ' ' || (SELECT group_concat(id) FROM media_sources) || ' up to '"
                     " || (SELECT up_to FROM forwarding) FROM facts"), "3 4,5 up to 3");
    sqlite_run(db, "PRAGMA user_version = 7");  // a later release's
    EXPECT_EQ(upgrade(), "made by a later version of onvif_camscout (7)");
}

// Runs at 00:00 on 1 to 4 January, one stamped 1970 and one 2027 after the 2nd,
// then this run, stamped 2031; forwarded up to sighting 2; a keeps one facts, b
// changes its address on the 2nd. Then finds move in parts, each committed.
TEST_F(store, expiry_keeps_each_facts_newest_sighting_rows_not_forwarded_and_all_when_the_clock_is_wrong)
{
    ASSERT_EQ(store_create(db), "");
    ASSERT_EQ(sqlite_run(db, "INSERT INTO found_pending (run_pid, run_started, mac_addr, ip_addr) VALUES"
                             " (1, '2026-01-01', 'a', '1'), (1, '2026-01-01', 'b', '2'), (2, '2026-01-02', 'a', '1'),"
                             " (2, '2026-01-02', 'b', '3'), (9, '1970-01-01', 'c', '9'), (8, '2027-01-01', 'd', '8'),"
                             " (3, '2026-01-03', 'a', '1'), (4, '2026-01-04', 'a', '1'), (5, '2031-01-01', 'c', '9');"
                             " UPDATE found_pending SET run_started = run_started || 'T00:00:00.000Z';"
                             " INSERT INTO run_outcomes (started) SELECT DISTINCT run_started FROM found_pending"), "");
    ASSERT_EQ(store_move_pending(db), "");
    sqlite_run(db, "UPDATE forwarding SET up_to = 2");
    long long day = 86400000, jan4 = 1767484800000, keep = 2 * day;
    struct { long long now_ms; bool keep_unforwarded; long long deleted; const char* left; } cases[] = {
        {jan4 - 1, false, 0, "1 2 3 4 5 6 7 8 9"},         // the clock behind the newest run before this one
        {1924992000000 + 1, false, 0, "1 2 3 4 5 6 7 8 9"},  // far ahead of it, as is this run
        {jan4, false, 1, "2 3 4 5 6 7 8 9"},  // to the 1st, not 1970's, nor held by 2027's; 2: b's first facts' newest
        {jan4 + keep, true, 0, "2 3 4 5 6 7 8 9"},        // up to the 3rd, but 3 to 7 are not forwarded
        {jan4 + keep, false, 3, "2 4 6 8 9"},             // forwarded or not: 3, 5 and 7 go
    };
    for (auto c : cases) {
        std::string why;
        auto by = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        EXPECT_EQ(store_expire(db, c.now_ms, keep, c.keep_unforwarded, 5, by, why), c.deleted);
        EXPECT_EQ(column("SELECT id FROM sightings ORDER BY id") + why, c.left) << c.now_ms;
    }
    EXPECT_EQ(column("SELECT id FROM runs ORDER BY id"), "1 2 4 6 7");
    EXPECT_EQ(column("SELECT substr(started, 1, 10) FROM run_outcomes ORDER BY 1"), "2026-01-04 2027-01-01 2031-01-01");
    ASSERT_EQ(sqlite_run(db, "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 1500)"
                             " INSERT INTO found_pending (run_pid, mac_addr, ip_addr) SELECT 1, 'm', i FROM c; CREATE TEMP TRIGGER"
                             " stop BEFORE INSERT ON sightings WHEN (SELECT count(*) FROM sightings) = 1005 BEGIN SELECT raise(ABORT, 'full'); END"), "");
    EXPECT_EQ(store_move_pending(db), "full");
    EXPECT_EQ(column("SELECT count(*) || ' ' || (SELECT count(*) FROM found_pending) FROM sightings"), "1005 500");
}
