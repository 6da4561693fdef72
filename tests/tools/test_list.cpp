// The list tool on a small store on disk: the two runs --changes compares, in a first-version
// store and a migrated one, each kind of change, and the rows as printed.
#include <gtest/gtest.h>

#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "../../tools/list/print_rows.h"
#include "../../tools/list/read_runs.h"
#include "../../tools/list/read_sqlite.h"
#include "../../tools/list/since.h"
#include "host/log/utc_time.h"
#include "host/settings/settings.h"
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
    " (9, '2026-01-03', 'f', '10.0.0.4', 'M'), (9, '2026-01-03', 'c', '10.0.0.3', CAST(x'3d43ff' AS TEXT));"
    " UPDATE found_media_sources SET model_id = 4294967299, brand_id = 2, port = 80";

// For root, whom permissions do not stop, a folder mounted read-only in a mount namespace of the test's own.
static bool make_read_only(const std::string& dir)
{
    if (geteuid() != 0)
        return chmod(dir.c_str(), 0555) == 0;
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// What the tool prints of that store, migrated or not, then changed by sql and in a folder made
// read-only or not: the changes since a time ("" for the run before the newest), or each MAC
// address's newest row when since is null. JSON as one line.
static std::string printed(bool migrate, const char* since, out_format format, const std::string& sql = "",
                           bool read_only = false)
{
    std::string dir = (std::filesystem::temp_directory_path() / ("camscout-list-" + std::to_string(getpid()))).string();
    std::filesystem::create_directory(dir);
    sqlite3* db = nullptr;
    sqlite3_open((dir + "/store.db").c_str(), &db);
    std::string why = sqlite_run(db, first_version_store + sql);
    if (why.empty() && migrate)
        why = store_create(db);
    if (why.empty() && migrate)
        why = store_upgrade(db, [](const std::string&) {});
    sqlite3_close(db);
    if (why.empty() && read_only && !make_read_only(dir))
        why = std::string("no folder that cannot be written: ") + std::strerror(errno);
    store_reader store;
    std::vector<source_change> changes;
    testing::internal::CaptureStdout();
    try {
        if (why.empty() && (why = open_sqlite_store(dir + "/store.db", since != nullptr, store)).empty() && since)
            why = read_changes(store, since, changes);
        if (why.empty())
            why = since ? (print_changes(format, store, changes), "") : print_sources(format, false, store, dir);
    } catch (const unexpected_cell& cell) {
        why = cell.what();
    }
    std::string out = testing::internal::GetCapturedStdout() + why;
    if (read_only && umount2(dir.c_str(), MNT_DETACH) != 0)
        chmod(dir.c_str(), 0755);  // as make_read_only found it
    std::filesystem::remove_all(dir);
    return format == out_format::json ? nlohmann::json::parse(out).dump() : out;
}

// A run stored between two others with a clock years ahead: the newest run
// is compared with the one stored before it, not with the one whose time
// sorts before it.
TEST(list_store, compares_the_runs_in_the_order_they_were_stored_whatever_their_clock)
{
    std::string runs = "; DROP VIEW media_sources; DROP TABLE found_media_sources; " 
        "CREATE TABLE found_pending (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER, model_id INTEGER, model TEXT,"
        " ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB, run_started TEXT)"
        "; INSERT INTO found_pending (run_pid, run_started, found_at, mac_addr,"
        " ip_addr, model, model_id, port, brand_id) VALUES (1, '2026-12-06T08:00:00.000Z', '2026-12-06T08:00:01.000Z', 'A', '10.0.0.1', 'M', 3, 80, 0),"
        " (1, '2026-12-06T08:00:00.000Z', '2026-12-06T08:00:01.000Z', 'B', '10.0.0.2', 'M', 3, 80, 0),"
        " (2, '2031-01-01T00:00:00.000Z', '2031-01-01T00:00:01.000Z', 'A', '10.0.0.1', 'M', 3, 80, 0),"
        " (2, '2031-01-01T00:00:00.000Z', '2031-01-01T00:00:01.000Z', 'B', '10.0.0.2', 'M', 3, 80, 0),"
        " (3, '2026-12-06T08:20:00.000Z', '2026-12-06T08:20:01.000Z', 'A', '10.0.0.1', 'M', 3, 80, 0),"
        " (3, '2026-12-06T08:20:00.000Z', '2026-12-06T08:20:01.000Z', 'C', '10.0.0.3', 'M', 3, 80, 0)";
    EXPECT_EQ(printed(true, "", out_format::csv, runs), "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nnew,C,10.0.0.3,,M (0/3)\r\n"
                                                        "gone,B,10.0.0.2,M (0/3),\r\n");
    EXPECT_EQ(printed(true, "2026-12-06T08:10:00.000Z", out_format::csv, runs), "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\n"
                                                                         "new,C,10.0.0.3,,M (0/3)\r\ngone,B,10.0.0.2,M (0/3),\r\n");
}

// Besides: a's port changes, and the two channels of k (one MAC address and address, two model ids)
// answer in either order.
TEST(list_changes, against_the_run_before_in_a_first_version_store)
{
    std::string channels = "; UPDATE found_media_sources SET port = 8080 WHERE id = 10; INSERT INTO found_media_sources"
        " (run_pid, found_at, mac_addr, ip_addr, model, model_id, brand_id, port) VALUES (8, '2026-01-02', 'k', '10.0.0.9',"
        " 'K', 5, 1, 80), (8, '2026-01-02', 'k', '10.0.0.9', 'K', 6, 1, 80), (9, '2026-01-03', 'k', '10.0.0.9', 'K', 6, 1, 80),"
        " (9, '2026-01-03', 'k', '10.0.0.9', 'K', 5, 1, 80)";
    EXPECT_EQ(printed(false, "", out_format::csv, channels), "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nport changed,a,10.0.0.1,80,8080\r\n"
        "model changed,a,10.0.0.1,M (1/3),\"'+N,\"\"q\"\" (1/3)\"\r\nback,b,10.0.0.2,,M (1/3)\r\nnew,c,10.0.0.3,,'=C\\xff (1/3)\r\n"
        "moved,e,10.0.0.6,10.0.0.5,10.0.0.6\r\nreplaced,f,10.0.0.4,d,f\r\ngone,h,10.0.0.4,M (1/3),\r\ngone,i,10.0.0.6,M (1/3),\r\n");
}

// As on read-only media, where SQLite cannot make the -shm file beside a store in WAL mode: as in any folder.
TEST(list_changes, of_a_store_in_wal_mode_in_a_folder_that_cannot_be_written)
{
    std::string out = printed(false, "", out_format::csv, "; PRAGMA journal_mode = WAL", true);
    if (out.rfind("no folder", 0) == 0)
        GTEST_SKIP() << out;
    EXPECT_EQ(out, printed(false, "", out_format::csv));
}

TEST(list_changes, against_the_last_run_before_a_time_in_a_migrated_store)
{
    EXPECT_EQ(printed(true, "2026-01-02", out_format::table), "CHANGE         MAC  ADDRESS   BEFORE    NOW\n"
        "model changed  a    10.0.0.1  M (1/3)   +N,\"q\" (1/3)\nnew            c    10.0.0.3            =C\\xff (1/3)\n"
        "new            e    10.0.0.6            M (1/3)\nmoved          f    10.0.0.4  10.0.0.8  10.0.0.4\n"
        "gone           d    10.0.0.4  M (1/3)   \n");
}

TEST(list_changes, against_nothing_when_no_run_started_before_the_time)
{
    EXPECT_EQ(printed(false, "2026-01-01", out_format::json), R"j([{"address":"10.0.0.1","before":"","change":"new","mac":"a","now":"+N,\"q\" (1/3)"},)j"
        R"j({"address":"10.0.0.2","before":"","change":"new","mac":"b","now":"M (1/3)"},{"address":"10.0.0.3","before":"",)j"
        R"j("change":"new","mac":"c","now":"=C)j" "\xEF\xBF\xBD" R"j( (1/3)","now_hex":"3d43ff2028312f3329"},)j"
        R"j({"address":"10.0.0.6","before":"","change":"new","mac":"e","now":"M (1/3)"},)j"
        R"j({"address":"10.0.0.4","before":"","change":"new","mac":"f","now":"M (1/3)"}])j");
}

TEST(list_sources, the_newest_row_of_each_mac_address_or_why_there_are_none)
{
    EXPECT_EQ(printed(true, nullptr, out_format::csv), "ADDRESS,MAC,PORT,BRAND,MODEL,MODEL ID,LAST SEEN\r\n"
        "10.0.0.1,a,80,2,\"'+N,\"\"q\"\"\",1/3,2026-01-03\r\n10.0.0.2,b,80,2,M,1/3,2026-01-03\r\n10.0.0.3,c,80,2,'=C\\xff,1/3,2026-01-03\r\n"
        "10.0.0.4,h,80,2,M,1/3,2026-01-02\r\n10.0.0.4,d,80,2,M,1/3,2026-01-02\r\n10.0.0.4,f,80,2,M,1/3,2026-01-03\r\n"
        "10.0.0.6,i,80,2,M,1/3,2026-01-02\r\n10.0.0.6,e,80,2,M,1/3,2026-01-03\r\n");
    store_reader empty;
    EXPECT_EQ(open_sqlite_store("/dev/null", true, empty), "no such table: found_media_sources");
}

// The central inventory's rows come with their recorder, the model as hexadecimal; and as JSON.
TEST(list_sources, of_the_central_inventory_with_their_recorder)
{
    store_reader central;
    central.central = true;
    central.query = [](auto&, auto&, const result_sink& each) {
        each({"r", "10.0.0.1", "a", "4d41f", "t", "80", "2", "4294967299", "1"});
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

// A terminal shows these five characters two columns wide, or in none.
TEST(list_table, aligns_its_columns_by_what_a_terminal_shows)
{
    testing::internal::CaptureStdout();
    print_items(out_format::table, {"TEXT", "N"}, [](const item_sink& each) {
        for (const char* text : {"\U0001F680\u2705", "\u231A", "a\u0E31\u302A"})
            each({text, "1"}, nullptr);
        return std::string(); }, "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TEXT  N\n\U0001F680\u2705  1\n\u231A    1\na\u0E31\u302A     1\n");
}

// A row of realistic width: closed up to one space, then the model cut, but never the address or MAC.
TEST(list_table, fits_80_columns_by_cutting_the_texts_that_may_be_cut_unless_wide)
{
    auto items = [](const item_sink& each) {
        each({"192.168.100.200", "00:11:22:33:44:55", "8080", "Lumidock \u0E31" + std::string(40, 'M'), "2026-12-06 05:30"},
             nullptr);
        return std::string(); };
    std::vector<std::string> headings = {"ADDRESS", "MAC", "PORT", "MODEL", "LAST SEEN"};
    testing::internal::CaptureStdout();
    print_items(out_format::table, headings, items, "", {"MODEL"});
    print_items(out_format::wide, headings, items, "", {"MODEL"});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ADDRESS         MAC               PORT MODEL"
        + std::string(20, ' ') + "LAST SEEN\n192.168.100.200 00:11:22:33:44:55 8080 Lumidock \u0E31" + std::string(14, 'M') +
        "\u2026 2026-12-06 05:30\nADDRESS          MAC                PORT  MODEL" + std::string(46, ' ') + "LAST SEEN\n"
        "192.168.100.200  00:11:22:33:44:55  8080  Lumidock \u0E31" + std::string(40, 'M') + "  2026-12-06 05:30\n");
}

// As typed: help, options refused together or unknown, and a command line that is right.
TEST(list_command_line, answers_help_and_refuses_what_is_wrong_with_status_2)
{
    auto run = [](const std::string& args) {
        FILE* out = popen(("timeout 10 " LIST_TOOL " " + args + " 2>&1").c_str(), "r");
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out));
        return std::pair{WEXITSTATUS(pclose(out)), text};
    };
    auto [status, help] = run("-h");
    EXPECT_EQ(status, 0);
    for (const char* told : {"--changes", "--wide", "--expire", "CAMSCOUT_CENTRAL", "onvif_camscout_list(1)"})
        EXPECT_NE(help.find(told), std::string::npos) << told;
    EXPECT_EQ(run("--json --csv"), std::pair(2, std::string("onvif_camscout_list: --json, --csv and --wide do not go"
                                                              " together (see --help)\n")));
    for (const char* wrong : {"--wide --changes --json", "--bogus", "--changes --since yesterday", "--central --store x",
                              "--central --expire 0", "--central --expire x", "--central --expire 36501", "--expire 5",
                              "--central --expire 5 --json", "--changes --store /nonexistent/store.db"})
        EXPECT_EQ(run(wrong).first, 2) << wrong;
    EXPECT_EQ(run("--store /nonexistent/store.db"), std::pair(1, std::string("onvif_camscout_list: cannot read the store"
                                                                               " /nonexistent/store.db: unable to open database file\n")));
}

TEST(list_store, names_the_row_and_column_of_a_cell_that_holds_no_integer)
{
    for (std::string column : {"port", "brand_id", "model_id"})
        for (const char* cell : {"'abc'", "2.5", "NULL"})
            for (const char* since : {"", static_cast<const char*>(nullptr)})
                EXPECT_EQ(printed(false, since, out_format::table, "; UPDATE found_media_sources SET " + column + " = " +
                                  cell + " WHERE mac_addr = 'f'"), "row 13: " + column + " holds no integer") << cell;
}

// A time cut short is completed as the store writes times; a day, an hour or a form out of range is refused.
TEST(list_since, takes_a_utc_time_to_any_precision_and_nothing_else)
{
    for (auto [typed, stored] : {std::pair{"2026-12-06", "2026-12-06T00:00:00.000Z"}, {"2026-12-06T05Z", "2026-12-06T05:00:00.000Z"},
                                 {"2026-08-31T05:30", "2026-08-31T05:30:00.000Z"}, {"2026-12-31T23:59:59Z", "2026-12-31T23:59:59.000Z"},
                                 {"2028-02-29T23:59:59.5", "2028-02-29T23:59:59.500Z"}, {"2026-01-01T00:00:00.25Z", "2026-01-01T00:00:00.250Z"}})
        EXPECT_EQ(format_utc(parse_since(typed).value_or(-1)), stored);
    for (const char* refused : {"2026-13-45", "2027-02-29", "2026-04-31", "2026-12-06T24:00", "2026-12-06 05:30", "2026-12-06T05:3",
                                "2026-12-06T05:30:00.2500", " 2026-12-06", "", "yesterday"})
        EXPECT_FALSE(parse_since(refused)) << refused;
}

TEST(settings, name_a_value_they_cannot_take_and_use_its_default)
{
    for (auto [days, kept, wrong] : {std::tuple{"abc", 90, "[settings] CAMSCOUT_RETENTION_DAYS=abc is not a whole number of days"
                                                           " from 0 to 36500; 90 is used"}, {"7", 7, ""}, {"", 90, ""}}) {
        setenv("CAMSCOUT_RETENTION_DAYS", days, 1);
        platform_settings taken = settings_from_environment();
        EXPECT_EQ(taken.retention_days, kept);
        EXPECT_EQ(taken.wrong, wrong);
    }
    unsetenv("CAMSCOUT_RETENTION_DAYS");
}

// Each run's outcome as a program reads it, the last stored first whatever its clock said; a question
// that does not go with it is refused.
TEST(list_runs, prints_each_outcome_newest_first)
{
    std::string path = (std::filesystem::temp_directory_path() / ("camscout-runs-" + std::to_string(getpid()))).string();
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    ASSERT_EQ(store_create(db), "");
    ASSERT_EQ(sqlite_run(db, "INSERT INTO run_outcomes VALUES ('2026-12-07T05:00:00.000Z', 62.44, 40, 0, 4096, 5, 5, 0, 0,"
                             " 5, ''), ('2026-12-06T05:00:00.000Z', 12, 9, 2, 4096, 6, 4, 1, 1, 0, 'forwarding: out of time')"), "");
    sqlite3_close(db);
    auto run = [&](const std::string& args) {
        FILE* out = popen(("timeout 10 " LIST_TOOL " --store " + path + " " + args + " 2>&1").c_str(), "r");
        std::string text(4096, '\0');
        text.resize(std::fread(text.data(), 1, text.size(), out));
        return std::pair{WEXITSTATUS(pclose(out)), text};
    };
    auto [status, json] = run("--runs --json");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(nlohmann::json::parse(json).dump(),
              R"([{"cut_short":"forwarding: out of time","datagrams":9,"drops":2,"forwarded":0,"found":6,"no_mac":1,)"
              R"("refused":1,"seconds":12.0,"started":"2026-12-06T05:00:00.000Z","stored":4},{"cut_short":"","datagrams":40,)"
              R"("drops":0,"forwarded":5,"found":5,"no_mac":0,"refused":0,"seconds":62.4,"started":"2026-12-07T05:00:00.000Z",)"
              R"("stored":5}])");
    EXPECT_EQ(run("--runs --changes").first, 2);
    std::filesystem::remove(path);
}
