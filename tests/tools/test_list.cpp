// The list tool as an operator runs it on small stores on disk: what it prints, and its exit statuses.
#include <gtest/gtest.h>

#include <sched.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "../../tools/list/output.h"
#include "host/settings/settings.h"
#include "host/store/store_schema.h"

// Three runs a day apart, as the first version wrote them. Against the run before: a stays, its port
// and model change, b is back, c is new with a model that is not UTF-8, e moves to where i was (i is
// gone, e is not a replacement), f takes the address d and h shared (f replaces d, though seen
// before; h is gone), and the two channels of k (one MAC address and address, two model ids)
// answer in either order.
static const char first_version_store[] =
    "CREATE TABLE found_media_sources (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER, model_id INTEGER,"
    " model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER, record BLOB);"
    "CREATE VIEW media_sources AS SELECT * FROM found_media_sources WHERE id IN (SELECT MAX(id) FROM found_media_sources"
    " GROUP BY mac_addr); INSERT INTO found_media_sources (run_pid, found_at, mac_addr, ip_addr, model) VALUES"
    " (7, '2026-01-01', 'a', '10.0.0.1', 'M'), (7, '2026-01-01', 'b', '10.0.0.2', 'M'), (7, '2026-01-01', 'd', '10.0.0.4', 'M'),"
    " (7, '2026-01-01', 'f', '10.0.0.8', 'M'), (8, '2026-01-02', 'h', '10.0.0.4', 'M'), (8, '2026-01-02', 'i', '10.0.0.6', 'M'),"
    " (8, '2026-01-02', 'a', '10.0.0.1', 'M'), (8, '2026-01-02', 'd', '10.0.0.4', 'M'), (8, '2026-01-02', 'e', '10.0.0.5', 'M'),"
    " (9, '2026-01-03', 'a', '10.0.0.1', '+N,\"q\"'), (9, '2026-01-03', 'b', '10.0.0.2', 'M'), (9, '2026-01-03', 'e', '10.0.0.6', 'M'),"
    " (9, '2026-01-03', 'f', '10.0.0.4', 'M'), (9, '2026-01-03', 'c', '10.0.0.3', CAST(x'3d43ff' AS TEXT));"
    " UPDATE found_media_sources SET model_id = 4294967299, brand_id = 2, port = iif(id = 10, 8080, 80); INSERT INTO"
    " found_media_sources (run_pid, found_at, mac_addr, ip_addr, model, model_id, brand_id, port) VALUES (8, '2026-01-02',"
    " 'k', '10.0.0.9', 'K', 5, 1, 80), (8, '2026-01-02', 'k', '10.0.0.9', 'K', 6, 1, 80), (9, '2026-01-03', 'k', '10.0.0.9',"
    " 'K', 6, 1, 80), (9, '2026-01-03', 'k', '10.0.0.9', 'K', 5, 1, 80)";

// The tool's exit status and what it printed, stdout then stderr.
static std::pair<int, std::string> list(const std::string& args)
{
    FILE* out = popen(("timeout 10 " LIST_TOOL " " + args + " 2>&1").c_str(), "r");
    std::string text(65536, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), out));
    return {WEXITSTATUS(pclose(out)), text};
}

// That store, changed by sql, at this version unless it is to stay a first-version store.
struct store_file {
    static inline int made = 0;
    std::string path = std::filesystem::temp_directory_path() / ("camscout-list-" + std::to_string(getpid()) + "-" +
                                                                 std::to_string(made++) + ".db");
    explicit store_file(const std::string& sql = "", bool upgrade = true, const std::string& then = "")
    {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        EXPECT_EQ(sqlite3_exec(db, (first_version_store + sql).c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        EXPECT_EQ(upgrade ? store_upgrade(db, [](const std::string&) {}) : "", "");
        EXPECT_EQ(sqlite3_exec(db, then.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    ~store_file() { std::filesystem::remove(path); }
    std::pair<int, std::string> operator()(const std::string& args) const { return list("--store " + path + " " + args); }
};

TEST(list_changes, of_each_kind_against_the_run_stored_before_or_the_last_before_a_time)
{
    store_file store;
    EXPECT_EQ(store("--changes --csv"), std::pair(1, std::string("CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nport changed,a,10.0.0.1,80,8080\r\n"
        "model changed,a,10.0.0.1,M (1/3),\"'+N,\"\"q\"\" (1/3)\"\r\nback,b,10.0.0.2,,M (1/3)\r\nnew,c,10.0.0.3,,'=C\\xff (1/3)\r\n"
        "moved,e,10.0.0.6,10.0.0.5,10.0.0.6\r\nreplaced,f,10.0.0.4,d,f\r\ngone,h,10.0.0.4,M (1/3),\r\ngone,i,10.0.0.6,M (1/3),\r\n")));
    // Before every run, all are new; a text that is not UTF-8 comes with its bytes.
    EXPECT_EQ(nlohmann::json::parse(store("--changes --json --since 2025-12-31").second)[2].dump(), R"j({"address":"10.0.0.3","before":"","change":"new","mac":"c","now":"=C)j"
        "\xEF\xBF\xBD" R"j( (1/3)","now_hex":"3d43ff2028312f3329"})j");
    for (const char* refused : {"2027-02-29", "2026-12-06T24:00", "2026-12-06T05:3", "2026-12-06T05:30:00.2500", ""})
        EXPECT_EQ(store("--changes --since '" + std::string(refused) + "'").first, 2) << refused;
    // Four runs stored in this order, the second with a clock years ahead: the newest is compared with
    // the run stored before it, or with the last stored before it that started before a time.
    store_file clock("; DELETE FROM found_media_sources; INSERT INTO found_media_sources (run_pid, found_at, mac_addr, ip_addr,"
        " model, model_id, port, brand_id) SELECT column1, column2, column3, '10.0.0.' || unicode(column3), 'M', 3, 80, 0 FROM"
        " (VALUES (1, '2026-12-06T08:00', 'A'), (1, '2026-12-06T08:00', 'B'), (2, '2031-01-01T00:00', 'A'), (2, '2031-01-01T00:00',"
        " 'B'), (3, '2026-12-06T08:20', 'A'), (3, '2026-12-06T08:20', 'C'), (4, '2026-12-06T08:30', 'A'), (4, '2026-12-06T08:30', 'C'))");
    EXPECT_EQ(clock("--changes"), std::pair(0, std::string("no changes\n")));
    EXPECT_EQ(clock("--changes --csv --since 2026-12-06T08:10").second,
              "CHANGE,MAC,ADDRESS,BEFORE,NOW\r\nnew,C,10.0.0.67,,M (0/3)\r\ngone,B,10.0.0.66,M (0/3),\r\n");
}

// The newest row of each MAC address, or every row, and each run's outcome, the last stored first
// whatever its clock said. Read alike from a read-only folder, where SQLite cannot make a WAL store's
// -shm file; for root, whom permissions do not stop, it is mounted read-only in a namespace of its own.
TEST(list_sources, the_newest_row_of_each_mac_address_and_the_runs_also_from_read_only_media)
{
    store_file store("; PRAGMA journal_mode = WAL", true, "INSERT INTO run_outcomes VALUES ('2026-12-07T05:00:00.000Z',"
        " 62.44, 40, 0, 4096, 5, 5, 0, 0, 5, ''), ('2026-12-06T05:00:00.000Z', 12, 9, 2, 4096, 6, 4, 1, 1, 0, 'forwarding')");
    EXPECT_EQ(store("--csv"), std::pair(0, std::string("ADDRESS,MAC,PORT,BRAND,MODEL,MODEL ID,LAST SEEN\r\n"
        "10.0.0.1,a,8080,2,\"'+N,\"\"q\"\"\",1/3,2026-01-03\r\n10.0.0.2,b,80,2,M,1/3,2026-01-03\r\n10.0.0.3,c,80,2,'=C\\xff,1/3,2026-01-03\r\n"
        "10.0.0.4,h,80,2,M,1/3,2026-01-02\r\n10.0.0.4,d,80,2,M,1/3,2026-01-02\r\n10.0.0.4,f,80,2,M,1/3,2026-01-03\r\n"
        "10.0.0.6,i,80,2,M,1/3,2026-01-02\r\n10.0.0.6,e,80,2,M,1/3,2026-01-03\r\n10.0.0.9,k,80,1,K,0/5,2026-01-03\r\n")));
    EXPECT_EQ(nlohmann::json::parse(store("--json --all").second)[0].dump(), R"({"address":"10.0.0.1","brand":2,)"
        R"("last_seen":"2026-01-01","mac":"a","model":"M","model_id":{"brand":1,"model":3},"port":80})");
    EXPECT_EQ(nlohmann::json::parse(store("--runs --json").second)[1].dump(), R"({"cut_short":"","datagrams":40,"drops":0,)"
        R"("forwarded":5,"found":5,"no_mac":0,"refused":0,"seconds":62.4,"started":"2026-12-07T05:00:00.000Z","stored":5})");
    std::string dir = store.path + ".d";
    std::filesystem::create_directory(dir);
    std::filesystem::copy_file(store.path, dir + "/store.db");
    EXPECT_TRUE(geteuid() != 0 ? chmod(dir.c_str(), 0555) == 0
                : unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                      mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                      mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
    EXPECT_EQ(list("--changes --store " + dir + "/store.db"), store("--changes"));
    if (umount2(dir.c_str(), MNT_DETACH) != 0)
        chmod(dir.c_str(), 0755);
    std::filesystem::remove_all(dir);
}

// Status 2 and one line: a command line that is wrong, a store of an earlier version until upgraded,
// or a cell that no run writes, named by its row and column. A missing store is 1, as other faults.
TEST(list_refusals, of_a_wrong_command_line_an_earlier_version_or_a_cell_that_holds_no_integer)
{
    auto [status, help] = list("-h");
    EXPECT_EQ(std::pair(status, help.substr(0, 26)), std::pair(0, std::string("usage: onvif_camscout_list")));
    EXPECT_EQ(list("--json --csv"), std::pair(2, std::string("onvif_camscout_list: --json and --csv do not go together"
                                                               " (see --help)\n")));
    for (const char* wrong : {"--bogus", "--central --expire 0", "--central --expire 36501", "--expire 5", "--runs --changes",
                              "--central --expire 5 --json", "--changes --store /nonexistent/store.db", "--store x y"})
        EXPECT_EQ(list(wrong).first, 2) << wrong;
    EXPECT_EQ(list("--store /nonexistent/store.db").first, 1);
    for (auto [column, cell] : {std::pair{"port", "'abc'"}, {"brand_id", "2.5"}, {"model_id", "NULL"}}) {
        store_file store(std::string("; UPDATE found_media_sources SET ") + column + " = " + cell + " WHERE mac_addr = 'f'");
        for (const char* changes : {"", "--changes"})
            EXPECT_EQ(store(changes), std::pair(2, "onvif_camscout_list: cannot read the store " + store.path + ": row 13: " +
                                                       column + " holds no integer\n"));
    }
    store_file earlier("", false);
    EXPECT_EQ(earlier("--changes"), std::pair(2, "onvif_camscout_list: cannot read the store " + earlier.path + ": it is of an"
        " earlier version: bring it up to date with onvif_camscout_list --store " + earlier.path + " --upgrade\n"));
    EXPECT_EQ(earlier("--upgrade").first, 0);
    EXPECT_EQ(earlier("--changes").first, 1);
}

// A terminal shows these five characters two columns wide, or in none; a row of realistic width
// is closed up to one space, then the model is cut, but never the address or MAC; --wide cuts none.
// The central inventory's rows come with their recorder, the model as hexadecimal.
TEST(list_table, aligns_by_what_a_terminal_shows_and_fits_80_columns_unless_wide)
{
    listing what{{"TEXT", "ADDRESS", "MAC", "MODEL"}, {"MODEL"}, {}, ""};
    testing::internal::CaptureStdout();
    for (out_format format : {out_format::table, out_format::wide})
        print_items(format, what, [](const result_sink& each) {
            for (const char* text : {"\U0001F680\u2705", "\u231A", "a\u0E31\u302A"})
                each({text, "192.168.100.200", "00:11:22:33:44:55", "Lumidock \u0E31" + std::string(40, 'M')});
            return std::string(); });
    store_reader central;
    central.central = true;
    central.query = [](auto&, auto&, const result_sink& each) {
        each({"r", "10.0.0.1", "a", "4d41f", "t", "80", "2", "4294967299", "1"});
        return std::string(); };
    print_sources(out_format::csv, true, central, "");
    std::string row = " 192.168.100.200 00:11:22:33:44:55 Lumidock \u0E31" + std::string(31, 'M') + "\u2026\n";
    std::string wide = "  192.168.100.200  00:11:22:33:44:55  Lumidock \u0E31" + std::string(40, 'M') + "\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TEXT ADDRESS         MAC               MODEL\n\U0001F680\u2705" + row +
              "\u231A  " + row + "a\u0E31\u302A   " + row + "TEXT  ADDRESS          MAC                MODEL\n\U0001F680\u2705" +
              wide + "\u231A  " + wide + "a\u0E31\u302A   " + wide + "RECORDER,ADDRESS,MAC,PORT,BRAND,MODEL,MODEL ID,LAST SEEN\r\n"
              "r,10.0.0.1,a,80,2,MA,1/3,t\r\n");
}

TEST(settings, name_a_value_they_cannot_take_and_use_its_default)
{
    for (auto [days, kept, wrong] : {std::tuple{"abc", 90, "[settings] CAMSCOUT_RETENTION_DAYS=abc is not a whole number"
                                                           " from 0 to 36500; 90 is used"}, {"7", 7, ""}, {"", 90, ""}}) {
        setenv("CAMSCOUT_RETENTION_DAYS", days, 1);
        platform_settings taken = settings_from_environment();
        EXPECT_EQ(std::pair(taken.retention_days, taken.wrong), std::pair(kept, std::string(wrong)));
    }
    unsetenv("CAMSCOUT_RETENTION_DAYS");
    // Relative paths are made absolute, since the run changes to /.
    EXPECT_EQ(path_setting("store.db", "/f"), std::filesystem::current_path().string() + "/store.db");
    EXPECT_EQ(path_setting("/var/a.db", "/f") + path_setting("", "/f") + path_setting(nullptr, "/f"), "/var/a.db/f/f");
}
