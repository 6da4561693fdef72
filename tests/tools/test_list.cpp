// The list tool on a small store on disk: the two runs --changes compares,
// in a first-version store and a migrated one, each kind of change, and the
// rows as printed.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "../../tools/list/print_rows.h"
#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"
#include "host/store/store_sightings.h"

// Three runs a day apart. Against the run before: a stays and its model
// changes, b is back, c is new with a model that is not UTF-8, e moves to
// where i was (i is gone, e is not a replacement), f takes the address d and
// h shared (f replaces d, though seen before; h is gone). Against the first
// run, f moved there and d is gone.
static const char first_version_store[] =
    "PRAGMA synchronous = OFF; CREATE TABLE found_media_sources (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER,"
    " model_id INTEGER, model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB);"
    "CREATE VIEW media_sources AS SELECT * FROM found_media_sources WHERE id IN (SELECT MAX(id) FROM found_media_sources"
    " GROUP BY mac_addr); INSERT INTO found_media_sources (run_pid, found_at, mac_addr, ip_addr, model) VALUES"
    " (7, '2026-01-01', 'a', '10.0.0.1', 'M'), (7, '2026-01-01', 'b', '10.0.0.2', 'M'), (7, '2026-01-01', 'd', '10.0.0.4', 'M'),"
    " (7, '2026-01-01', 'f', '10.0.0.8', 'M'), (8, '2026-01-02', 'h', '10.0.0.4', 'M'), (8, '2026-01-02', 'i', '10.0.0.6', 'M'),"
    " (8, '2026-01-02', 'a', '10.0.0.1', 'M'), (8, '2026-01-02', 'd', '10.0.0.4', 'M'), (8, '2026-01-02', 'e', '10.0.0.5', 'M'),"
    " (9, '2026-01-03', 'a', '10.0.0.1', '+N,\"q\"'), (9, '2026-01-03', 'b', '10.0.0.2', 'M'), (9, '2026-01-03', 'e', '10.0.0.6', 'M'),"
    " (9, '2026-01-03', 'f', '10.0.0.4', 'M'),"
    " (9, '2026-01-03', 'c', '10.0.0.3', CAST(x'3d43ff' AS TEXT)); UPDATE found_media_sources SET model_id = 4294967299,"
    " brand_id = 2, port = 80";

// What the tool prints of that store, migrated or not: the changes since a time ("" for the
// run before the newest), or each MAC address's newest row when since is null. JSON as one line.
static std::string printed(bool migrate, const char* since, out_format format, const std::string& sql = first_version_store)
{
    std::string path = (std::filesystem::temp_directory_path() / ("camscout-list-" + std::to_string(getpid()))).string();
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string why = sqlite_run(db, sql);
    if (why.empty() && migrate)
        why = store_set_up(db, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    if (why.empty() && migrate)
        why = store_move_pending(db);
    sqlite3_close(db);
    store_reader store;
    std::vector<source_change> changes;
    if (why.empty() && (why = open_sqlite_store(path, since != nullptr, store)).empty() && since)
        why = read_changes(store, since, changes);
    testing::internal::CaptureStdout();
    if (why.empty())
        why = since ? (print_changes(format, store, changes), "") : print_sources(format, false, store, path);
    std::string out = testing::internal::GetCapturedStdout() + why;
    std::filesystem::remove(path);
    return format == out_format::json ? nlohmann::json::parse(out).dump() : out;
}

// A run stored between two others with a clock years ahead: the newest run
// is compared with the one stored before it, not with the one whose time
// sorts before it.
TEST(list_store, compares_the_runs_in_the_order_they_were_stored_whatever_their_clock)
{
    std::string runs = std::string(store_pending_table) + "; INSERT INTO found_pending (run_pid, run_started, found_at, mac_addr,"
        " ip_addr, model, model_id) VALUES (1, '2026-12-06T08:00:00.000Z', '2026-12-06T08:00:01.000Z', 'A', '10.0.0.1', 'M', 3),"
        " (1, '2026-12-06T08:00:00.000Z', '2026-12-06T08:00:01.000Z', 'B', '10.0.0.2', 'M', 3),"
        " (2, '2031-01-01T00:00:00.000Z', '2031-01-01T00:00:01.000Z', 'A', '10.0.0.1', 'M', 3),"
        " (2, '2031-01-01T00:00:00.000Z', '2031-01-01T00:00:01.000Z', 'B', '10.0.0.2', 'M', 3),"
        " (3, '2026-12-06T08:20:00.000Z', '2026-12-06T08:20:01.000Z', 'A', '10.0.0.1', 'M', 3),"
        " (3, '2026-12-06T08:20:00.000Z', '2026-12-06T08:20:01.000Z', 'C', '10.0.0.3', 'M', 3)";
    EXPECT_EQ(printed(true, "", out_format::csv, runs), "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nnew,C,10.0.0.3,,M (0/3)\r\n"
                                                        "gone,B,10.0.0.2,M (0/3),\r\n");
    EXPECT_EQ(printed(true, "2026-12-06T08:10:00.000Z", out_format::csv, runs), "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\n"
                                                                         "new,C,10.0.0.3,,M (0/3)\r\ngone,B,10.0.0.2,M (0/3),\r\n");
}

TEST(list_store, prints_the_changes_since_the_run_before_or_a_time_and_the_newest_rows)
{
    struct { bool migrate; const char* since; out_format format; const char* printed; } cases[] = {
        {false, "", out_format::csv, "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nmodel changed,a,10.0.0.1,M (1/3),\"'+N,\"\"q\"\" (1/3)\"\r\n"
            "back,b,10.0.0.2,,M (1/3)\r\nnew,c,10.0.0.3,,'=C\\xff (1/3)\r\nmoved,e,10.0.0.6,10.0.0.5,10.0.0.6\r\n"
            "replaced,f,10.0.0.4,d,f\r\ngone,h,10.0.0.4,M (1/3),\r\ngone,i,10.0.0.6,M (1/3),\r\n"},
        {true, "2026-01-02", out_format::table, "CHANGE         MAC  ADDRESS   BEFORE    NOW\n"
            "model changed  a    10.0.0.1  M (1/3)   +N,\"q\" (1/3)\nnew            c    10.0.0.3            =C\\xff (1/3)\n"
            "new            e    10.0.0.6            M (1/3)\nmoved          f    10.0.0.4  10.0.0.8  10.0.0.4\n"
            "gone           d    10.0.0.4  M (1/3)   \n"},
        {false, "2026-01-01", out_format::json, R"j([{"address":"10.0.0.1","before":"","change":"new","mac":"a","now":"+N,\"q\" (1/3)"},)j"
            R"j({"address":"10.0.0.2","before":"","change":"new","mac":"b","now":"M (1/3)"},{"address":"10.0.0.3","before":"",)j"
            R"j("change":"new","mac":"c","now":"=C)j" "\xEF\xBF\xBD" R"j( (1/3)","now_hex":"3d43ff2028312f3329"},)j"
            R"j({"address":"10.0.0.6","before":"","change":"new","mac":"e","now":"M (1/3)"},)j"
            R"j({"address":"10.0.0.4","before":"","change":"new","mac":"f","now":"M (1/3)"}])j"},
        {true, nullptr, out_format::csv, "ADDRESS,MAC,PORT,BRAND,MODEL,MODEL ID,LAST SEEN\r\n10.0.0.1,a,80,2,\"'+N,\"\"q\"\"\",1/3,2026-01-03\r\n"
            "10.0.0.2,b,80,2,M,1/3,2026-01-03\r\n10.0.0.3,c,80,2,'=C\\xff,1/3,2026-01-03\r\n10.0.0.4,h,80,2,M,1/3,2026-01-02\r\n"
            "10.0.0.4,d,80,2,M,1/3,2026-01-02\r\n10.0.0.4,f,80,2,M,1/3,2026-01-03\r\n10.0.0.6,i,80,2,M,1/3,2026-01-02\r\n"
            "10.0.0.6,e,80,2,M,1/3,2026-01-03\r\n"},
    };
    for (auto c : cases)
        EXPECT_EQ(printed(c.migrate, c.since, c.format), c.printed) << c.migrate << " " << (c.since ? c.since : "-");
    store_reader empty, central;
    EXPECT_EQ(open_sqlite_store("/dev/null", true, empty), "no such table: found_media_sources");
    // The central inventory's rows come with their recorder, the model as hexadecimal; and as JSON.
    central.central = true;
    central.query = [](auto&, auto&, const result_sink& each) {
        each({"r", "10.0.0.1", "a", "4d41f", "t", "80", "2", "1", "3"});
        return std::string(); };
    testing::internal::CaptureStdout();
    print_sources(out_format::csv, true, central, "");
    print_changes(out_format::csv, central, {{"new", "r", "a", "10.0.0.1", "", "M"}});
    print_sources(out_format::json, true, central, "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "RECORDER,ADDRESS,MAC,PORT,BRAND,MODEL,MODEL ID,LAST SEEN\r\n"
        "r,10.0.0.1,a,80,2,MA,1/3,t\r\nRECORDER,CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nr,new,a,10.0.0.1,,M\r\n[\n  {\n    \"address\": \"10.0.0.1\",\n"
        "    \"brand\": 2,\n    \"last_seen\": \"t\",\n    \"mac\": \"a\",\n    \"model\": \"MA\",\n    \"model_id\": {\n      \"brand\": 1,\n"
        "      \"model\": 3\n    },\n    \"port\": 80,\n    \"recorder\": \"r\"\n  }\n]\n");
}
