// The Linux platform's stateful parts: the store and the re-entry lock.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "host/process/confine.h"
#include "host/store/media_source_store.h"
#include "host/store/sqlite_query.h"
#include "host/store/store_schema.h"
#include "platform/platform.h"
#include "run/text_field.h"
#include "store_and_log.h"

namespace fs = std::filesystem;

static TMediaSourceDevInfo record(const char* ip, const char* mac, int port)
{
    TMediaSourceDevInfo info{};
    info.model_id = make_long_long(139, 52);
    copy_text(info.model, "VIGI-C340 'quoted'; DROP TABLE x;--");
    copy_text(info.ip_addr, ip);
    copy_text(info.mac_addr, mac);
    info.brand_id = 139;
    info.port = port;
    return info;
}

struct store_dir : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("camscout-store-" + std::to_string(getpid()));
    void SetUp() override { fs::remove_all(dir); }
    void TearDown() override { store_close(); fs::remove_all(dir); }
};

TEST_F(store_dir, keeps_every_store_call_and_the_newest_per_mac)
{
    std::string path = (dir / "sub" / "media_sources.db").string();
    ASSERT_EQ(store_open(path), "");
    ASSERT_EQ(store_catch_up(std::chrono::steady_clock::now() + std::chrono::seconds(10)), "");
    for (auto [ip, mac, port] : {std::make_tuple("10.0.0.9", "02:00:00:00:00:09", 8080),
                                 std::make_tuple("10.0.0.10", "02:00:00:00:00:09", 81),
                                 std::make_tuple("10.0.0.11", "02:00:00:00:00:11", 80)})
        EXPECT_EQ(store_insert(record(ip, mac, port)), "");
    store_close();
    EXPECT_EQ(store_insert(record("10.0.0.12", "02:00:00:00:00:12", 80)), "store not open");

    std::string me = std::to_string(getpid());
    EXPECT_EQ(rows(path, "SELECT ip_addr || ' ' || port || ' ' || model || ' ' || (model_id >> 32) || '/' ||"
                         " (model_id & 4294967295) || ' ' || brand_id || ' ' || run_pid || ' ' || length(found_at) || (run_started = found_at)"
                         " FROM media_sources ORDER BY id"),
              (std::vector<std::string>{"10.0.0.10 81 VIGI-C340 'quoted'; DROP TABLE x;-- 139/52 139 " + me + " 241",
                                        "10.0.0.11 80 VIGI-C340 'quoted'; DROP TABLE x;-- 139/52 139 " + me + " 241"}));
    EXPECT_EQ(rows(path, "SELECT count(*) FROM found_media_sources"), std::vector<std::string>{"3"});
    TMediaSourceDevInfo want = record("10.0.0.9", "02:00:00:00:00:09", 8080);
    EXPECT_EQ(rows(path, "SELECT record FROM found_media_sources WHERE id = 1"),
              std::vector<std::string>{std::string(reinterpret_cast<char*>(&want), sizeof want)});
}

TEST_F(store_dir, a_folder_that_cannot_be_made_says_why)
{
    fs::create_directories(dir);
    std::ofstream((dir / "file").string()) << "x";
    EXPECT_EQ(store_open((dir / "file" / "x.db").string()).rfind("cannot create " + (dir / "file").string() + ": ", 0), 0u);
    EXPECT_EQ(store_insert(record("10.0.0.9", "02:00:00:00:00:09", 80)), "store not open");
}

// The library's own store and log come from the environment that CTest sets.
struct msas : ::testing::Test {
    TMediaSourceDevInfo info = record("10.0.0.9", "02:00:00:00:00:09", 80);
    void SetUp() override
    {
        if (!start_afresh())
            GTEST_SKIP() << "run through CTest, which points the store and log into the build tree";
    }
};

TEST_F(msas, a_locked_store_is_retried_until_everything_is_stored)
{
    ASSERT_EQ(store_open(store_path), "");
    store_close();
    // Opened after the store process is forked: SQLite's locks are not for a copy of a process.
    ASSERT_EQ(msas_init_onvif(), 0);
    sqlite3* other = nullptr;
    sqlite3_open(store_path, &other);
    sqlite3_busy_timeout(other, 3000);  // while the store process sets up
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(msas_store_found_media_source_onvif(&info), 0);  // returns with the lock still held
    usleep(400 * 1000);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    msas_uninit_onvif();
    // One run: one start for all its rows, before the first of them.
    EXPECT_EQ(rows(store_path, "SELECT count(*) || ' ' || count(DISTINCT run_started) || ' ' || (max(run_started) <= min(found_at))"
                          " FROM found_media_sources"), std::vector<std::string>{"3 1 1"});

    EXPECT_NE(msas_store_found_media_source_onvif(&info), 0) << "stored after the store was closed";
    EXPECT_NE(read_file(log_path).find("[msas] 10.0.0.9 (02:00:00:00:00:09) not stored: the store is not open"),
              std::string::npos);
}

// A migration that cannot finish within the run: the find is stored
// first, the migration is cut short after the run with a line that says
// so, the run ends, and the next run finishes it and moves the find on.
TEST_F(msas, a_find_is_stored_before_a_slow_migration_which_goes_on_next_run)
{
    sqlite3* db = nullptr;
    sqlite3_open(store_path, &db);
    ASSERT_EQ(sqlite_run(db, "CREATE TABLE found_media_sources (id INTEGER PRIMARY KEY, found_at TEXT, run_pid INTEGER,"
                             " model_id INTEGER, model TEXT, ip_addr TEXT, mac_addr TEXT, brand_id INTEGER, port INTEGER,"
                             " record BLOB); WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 300)"
                             " INSERT INTO found_media_sources (found_at, run_pid, mac_addr) SELECT '2026-01-01', 7, i FROM c"), "");
    ASSERT_EQ(store_set_up(db, std::chrono::steady_clock::now(), 1), "still migrating, 0 of 300 rows done");
    // Every part from here on takes minutes.
    ASSERT_EQ(sqlite_run(db, "CREATE TRIGGER slow BEFORE INSERT ON sightings BEGIN SELECT count(*) FROM"
                             " found_media_sources a, found_media_sources b, found_media_sources c; END"), "");
    ASSERT_EQ(msas_init_onvif(), 0);
    EXPECT_EQ(msas_store_found_media_source_onvif(&info), 0);
    EXPECT_EQ(msas_uninit_onvif(), 0) << "the writer was not stopped";
    EXPECT_EQ(rows(store_path, "SELECT mac_addr FROM found_pending"), std::vector<std::string>{"02:00:00:00:00:09"});
    EXPECT_NE(read_file(log_path).find("[msas] setting up " + std::string(store_path) + " stopped, the finds are stored and wait"
                                  " for a later run: still migrating, 0 of 300 rows done: interrupted"),
              std::string::npos) << read_file(log_path);
    ASSERT_EQ(sqlite_run(db, "DROP TRIGGER slow"), "");
    sqlite3_close(db);
    ASSERT_EQ(msas_init_onvif(), 0);
    EXPECT_EQ(msas_uninit_onvif(), 0);
    EXPECT_EQ(rows(store_path, "SELECT count(*) || ' ' || (SELECT mac_addr FROM media_sources ORDER BY id DESC) ||"
                          " (SELECT count(*) FROM found_pending) FROM found_media_sources"),
              std::vector<std::string>{"301 02:00:00:00:00:090"});
}

TEST_F(msas, a_file_that_is_not_a_database_ends_the_run_with_a_message)
{
    std::ofstream(store_path) << std::string(4096, 'j');
    ASSERT_EQ(msas_init_onvif(), 0);
    EXPECT_EQ(msas_store_found_media_source_onvif(&info), 0);
    msas_uninit_onvif();
    std::string text = read_file(log_path);
    EXPECT_NE(text.find("[msas] cannot open " + std::string(store_path) + ", will retry when there is something to store"),
              std::string::npos) << text;
    EXPECT_NE(text.find("[msas] 1 found media sources not stored in " + std::string(store_path) + ": cannot set up " +
                        std::string(store_path) + ": file is not a database"), std::string::npos) << text;
}

// The store's writer thread is made through this seam; here it can be refused.
static int refuse_threads_with = 0;

int os_thread_create(pthread_t* thread, void* (*entry)(void*), void* arg)
{
    return refuse_threads_with != 0 ? refuse_threads_with : pthread_create(thread, nullptr, entry, arg);
}

int os_thread_join(pthread_t thread)
{
    return pthread_join(thread, nullptr);
}

// It would hold this test program itself; it has a test of its own.
confinement confine_discovery_process()
{
    return {};
}

TEST_F(msas, no_writer_thread_means_nothing_stored_and_the_run_goes_on)
{
    refuse_threads_with = EAGAIN;
    EXPECT_NE(store_writer_begin(), 0);
    refuse_threads_with = 0;
    EXPECT_NE(store_writer_put({info, "2026-12-06T20:00:00.000Z", 1, "2026-12-06T20:00:00.000Z"}), 0);
    EXPECT_EQ(store_writer_end(), 0);
    std::string text = read_file(log_path);
    EXPECT_NE(text.find("[msas] cannot start the store writer, nothing will be stored in"), std::string::npos) << text;
    EXPECT_NE(text.find("[msas] 10.0.0.9 (02:00:00:00:00:09) not stored"), std::string::npos) << text;
}

// A camera's text cannot make the terminal of an operator who follows the log act.
TEST_F(msas, a_log_line_is_one_line_that_a_device_cannot_make_a_terminal_act_on)
{
    log_Debug("hardware %s", "\xc2\x9b" "2J \x1b]0;owned\x07 \xe2\x80\xae" "gpj.exe \xff");
    log_Debug("%s", std::string(9000, 'x').c_str());  // cut to the logger's line of 8191 characters
    std::string text = read_file(log_path);
    EXPECT_NE(text.find("] hardware \\u009B2J \\x1b]0;owned\\x07 \\u202Egpj.exe \\xff\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" " + std::string(8191, 'x') + "\n"), std::string::npos);
}

// The settings are read at start-up, so the lock folder is the default or
// what CAMSCOUT_RUNDIR named; a name unique to this test keeps it apart.
TEST(reentried, a_second_holder_of_the_same_name_is_refused)
{
    std::string name = "/some/where/camscout-guard-test-" + std::to_string(getpid());
    ASSERT_EQ(reentried(name.c_str()), 0);
    pid_t child = fork();
    if (child == 0)
        _exit(reentried(("other/dir/" + name.substr(name.rfind('/') + 1)).c_str()) != 0 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child was not refused";
    EXPECT_EQ(reentried("camscout-guard-other-name"), 0);
}
