#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/media_source_store.h"
#include "platform/platform.h"
#include "platform/text_field.h"

namespace fs = std::filesystem;

class media_source_store : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("camscout-store-" + std::to_string(getpid()));
        fs::remove_all(dir);
    }
    void TearDown() override
    {
        store_close();
        fs::remove_all(dir);
    }
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
};

TEST_F(media_source_store, keeps_every_store_call_and_the_newest_per_mac)
{
    std::string path = (dir / "sub" / "media_sources.db").string();
    ASSERT_EQ(store_open(path), "");
    EXPECT_EQ(store_insert(record("10.0.0.9", "02:00:00:00:00:09", 8080)), "");
    EXPECT_EQ(store_insert(record("10.0.0.10", "02:00:00:00:00:09", 81)), "");
    EXPECT_EQ(store_insert(record("10.0.0.11", "02:00:00:00:00:11", 80)), "");
    store_close();

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db,
        "SELECT ip_addr, port, model, model_id >> 32, model_id & 4294967295, run_pid, found_at, record"
        " FROM media_sources ORDER BY id", -1, &st, nullptr), SQLITE_OK);
    std::vector<std::string> ips;
    while (sqlite3_step(st) == SQLITE_ROW) {
        ips.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 2)), "VIGI-C340 'quoted'; DROP TABLE x;--");
        EXPECT_EQ(sqlite3_column_int(st, 3), 139);
        EXPECT_EQ(sqlite3_column_int(st, 4), 52);
        EXPECT_EQ(sqlite3_column_int(st, 5), getpid());
        EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(st, 6))), 24u);
        ASSERT_EQ(sqlite3_column_bytes(st, 7), 256);
        TMediaSourceDevInfo back;
        std::memcpy(&back, sqlite3_column_blob(st, 7), 256);
        EXPECT_STREQ(back.ip_addr, ips.back().c_str());
        EXPECT_EQ(back.port, sqlite3_column_int(st, 1));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    EXPECT_EQ(ips, (std::vector<std::string>{"10.0.0.10", "10.0.0.11"}));
}

TEST_F(media_source_store, failures_say_what_and_why)
{
    fs::create_directories(dir);
    std::string not_a_db = (dir / "junk.db").string();
    FILE* f = fopen(not_a_db.c_str(), "w");
    fputs(std::string(4096, 'j').c_str(), f);
    fclose(f);
    std::string why = store_open(not_a_db);
    EXPECT_NE(why.find("cannot set up"), std::string::npos) << why;
    EXPECT_NE(why.find("not a database"), std::string::npos) << why;
    EXPECT_EQ(store_insert(record("10.0.0.9", "02:00:00:00:00:09", 80)), "store not open");

    std::string under_a_file = (dir / "junk.db" / "x.db").string();
    EXPECT_NE(store_open(under_a_file).find("cannot create"), std::string::npos);
}

static std::string read_file(const std::string& path)
{
    std::string text;
    if (FILE* f = fopen(path.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        fclose(f);
    }
    return text;
}

static long long count_rows(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    long long n = -1;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM found_media_sources", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// The library's own path comes from the environment that CTest sets.
TEST(msas, a_locked_or_broken_store_never_stalls_the_caller_and_says_why)
{
    const char* store = getenv("CAMSCOUT_STORE");
    const char* log = getenv("CAMSCOUT_LOG");
    if (store == nullptr || log == nullptr)
        GTEST_SKIP() << "run through CTest, which points the store and log into the build tree";
    fs::create_directories(fs::path(store).parent_path());
    fs::remove(store);
    ASSERT_EQ(store_open(store), "");
    store_close();

    // Another writer holds the store while the run finds three sources.
    sqlite3* other = nullptr;
    sqlite3_open(store, &other);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    msas_init_onvif();
    TMediaSourceDevInfo info{};
    copy_text(info.ip_addr, "10.0.0.9");
    copy_text(info.mac_addr, "02:00:00:00:00:09");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(msas_store_found_media_source_onvif(&info), 0);  // returns with the lock still held
    usleep(400 * 1000);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    msas_uninit_onvif();
    EXPECT_EQ(count_rows(store), 3) << "nothing found may be lost to a lock";
    EXPECT_NE(read_file(log).find("[msas] cannot write to"), std::string::npos);

    // A file that is not a database: the run ends, and the log says so.
    FILE* f = fopen(store, "w");
    fputs(std::string(4096, 'j').c_str(), f);
    fclose(f);
    fs::remove(std::string(store) + "-wal");
    fs::remove(std::string(store) + "-shm");
    msas_init_onvif();
    EXPECT_EQ(msas_store_found_media_source_onvif(&info), 0);
    msas_uninit_onvif();
    std::string text = read_file(log);
    EXPECT_NE(text.find("[msas] 1 found media sources not stored in"), std::string::npos) << text;
    EXPECT_NE(text.find("file is not a database"), std::string::npos) << text;
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

TEST(msas, no_writer_thread_means_nothing_stored_and_the_run_goes_on)
{
    const char* log = getenv("CAMSCOUT_LOG");
    if (log == nullptr)
        GTEST_SKIP() << "run through CTest, which points the log into the build tree";
    refuse_threads_with = EAGAIN;
    EXPECT_NE(msas_init_onvif(), 0);
    refuse_threads_with = 0;
    TMediaSourceDevInfo info{};
    copy_text(info.ip_addr, "10.0.0.9");
    copy_text(info.mac_addr, "02:00:00:00:00:09");
    EXPECT_NE(msas_store_found_media_source_onvif(&info), 0);
    EXPECT_EQ(msas_uninit_onvif(), 0);
    std::string text = read_file(log);
    EXPECT_NE(text.find("[msas] cannot start the store writer, nothing will be stored in"), std::string::npos) << text;
    EXPECT_NE(text.find("[msas] 10.0.0.9 (02:00:00:00:00:09) not stored"), std::string::npos) << text;
}
