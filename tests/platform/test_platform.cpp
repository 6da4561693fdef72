// The Linux platform's stateful parts: the store process, its store, the log.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <thread>

#include "host/process/confine.h"
#include "host/store/store_message.h"
#include "host/store/store_process.h"
#include "platform/platform.h"
#include "run/text_field.h"
#include "store_and_log.h"

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

// A run keeps every store call, the newest per MAC address, the record's
// very bytes and one start before all its rows, also past another writer's
// lock; then its outcome, in the store and as metrics. A file that is not a
// database is said, and the run goes on.
TEST(msas, a_run_keeps_every_find_past_a_locked_store_and_goes_on_past_a_broken_one)
{
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    sqlite3* other = nullptr;
    sqlite3_open(store_path, &other);
    ASSERT_EQ(msas_init_onvif(), 0);
    for (int i = 0; i < 4; ++i)  // the responders resolved, one of them with no MAC address
        ping(nullptr, 0, nullptr);
    sqlite3_busy_timeout(other, 3000);  // while the store process sets up
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    TMediaSourceDevInfo want = record("10.0.0.9", "02:00:00:00:00:09", 8080);
    for (TMediaSourceDevInfo found : {want, record("10.0.0.10", "02:00:00:00:00:09", 81),
                                      record("10.0.0.11", "02:00:00:00:00:11", 80)})
        EXPECT_EQ(msas_store_found_media_source_onvif(&found), 0);  // returns with the lock still held
    usleep(400 * 1000);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(msas_uninit_onvif(), 0);
    std::string me = std::to_string(getpid());
    EXPECT_EQ(rows(store_path, "SELECT ip_addr || ' ' || port || ' ' || model || ' ' || (model_id >> 32) || '/' ||"
                               " (model_id & 4294967295) || ' ' || brand_id || ' ' || run_pid FROM media_sources ORDER BY id"),
              (std::vector<std::string>{"10.0.0.10 81 VIGI-C340 'quoted'; DROP TABLE x;-- 139/52 139 " + me,
                                        "10.0.0.11 80 VIGI-C340 'quoted'; DROP TABLE x;-- 139/52 139 " + me}));
    EXPECT_EQ(rows(store_path, "SELECT count(*) || ' ' || count(DISTINCT run_started) || ' ' || (max(run_started) <= min(found_at))"
                               " FROM found_media_sources"), std::vector<std::string>{"3 1 1"});
    EXPECT_EQ(rows(store_path, "SELECT record FROM found_media_sources ORDER BY id LIMIT 1"),
              std::vector<std::string>{std::string(reinterpret_cast<char*>(&want), sizeof want)});

    EXPECT_EQ(rows(store_path, "SELECT found || stored || no_mac || refused || forwarded || '[' || cut_short || '] ' ||"
                               " (seconds BETWEEN 0.4 AND 9) || (started = (SELECT run_started FROM runs)) FROM run_outcomes"),
              std::vector<std::string>{"43100[] 11"});
    EXPECT_NE(read_file(std::filesystem::path(store_path).parent_path() / "onvif_camscout.prom")
                  .find("gauge\nonvif_camscout_run_cameras{state=\"found\"} 4\nonvif_camscout_run_cameras{state=\"stored\"} 3\n"
                        "onvif_camscout_run_cameras{state=\"no_mac\"} 1\n"), std::string::npos);
    EXPECT_NE(msas_store_found_media_source_onvif(&want), 0) << "stored after the store was closed";
    EXPECT_NE(log_with("not stored: the store is not open").find("[msas] 10.0.0.9 (02:00:00:00:00:09) not stored: the store is not open"),
              std::string::npos);

    ASSERT_TRUE(start_afresh());  // a second run, on a file that is not a database
    std::ofstream(store_path) << std::string(4096, 'j');
    ASSERT_EQ(msas_init_onvif(), 0);
    EXPECT_EQ(msas_store_found_media_source_onvif(&want), 0);
    EXPECT_EQ(msas_uninit_onvif(), 0);
    for (std::string line : {"cannot open %: file is not a database; retrying", "1 found media sources not stored in %"})
        EXPECT_NE(read_file(log_path).find("[msas] " + line.replace(line.find('%'), 1, store_path)), std::string::npos) << line;
}

// They would hold this test program and its store process; the lab and test_confine.cpp confine.
void confine_discovery_process() {}
void confine_store_process(const store_reach&) {}

// Each message not of this run is logged and passed over, a run's worth of
// the finds after them is stored, and the run ends once, at its end message.
TEST(store_process, refuses_what_is_not_a_find_of_this_run_and_keeps_at_most_a_runs_worth)
{
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    found_message good{found_message_kind, 0, 1796500000000, 4242, 1796499990000, {}};
    good.info = record("10.0.0.9", "02:00:00:00:00:09", 80);
    found_message other_kind = good, padded = good, forged = good, in_1970 = good, overlong = good, elsewhere = good,
                  end = {end_message_kind, 0, 0, 4242, 1796499990000, {}};
    other_kind.kind = 7;
    padded.unused = 1;
    forged.run_pid = -1;
    in_1970.found_at_ms = 0;
    std::memset(overlong.info.model, 'm', sizeof overlong.info.model);
    elsewhere.kind = neighbour_message_kind;  // an entry off the run's LANs
    elsewhere.neighbour = {htonl(0x0a000007), 9999};
    std::thread sender([&] {
        char longer[sizeof good + 8] = {};
        send(ends[0], &good, 10, MSG_NOSIGNAL);
        send(ends[0], longer, sizeof longer, MSG_NOSIGNAL);
        for (const found_message& m : {other_kind, padded, forged, overlong, elsewhere, in_1970})
            send(ends[0], &m, sizeof m, MSG_NOSIGNAL);
        for (int i = 0; i < 20004; ++i)
            send(ends[0], &good, sizeof good, MSG_NOSIGNAL);
        for (const found_message& m : {end, good, end})
            send(ends[0], &m, sizeof m, MSG_NOSIGNAL);
        close(ends[0]);
    });
    store_process_serve(ends[1], 4242, 1796499990000);
    close(ends[1]);  // a sender still at it, had the serving stopped early, fails at once
    sender.join();

    std::string text = read_file(log_path);
    for (auto [bytes, why] : {std::pair{10, "not the size of a message"}, {296, "not the size of a message"},
                              {288, "not a message the discovery process sends"},
                              {288, "padding not zero"}, {288, "not of this run"}, {288, "a field past its size"},
                              {288, "after the run's end"}})
        EXPECT_NE(text.find("[msas] refused a message of " + std::to_string(bytes) + " bytes from the discovery process: "
                            + why), std::string::npos) << why;
    for (const char* line : {"[msas] 5 found media sources refused: more than 20000 in one run",
                             " refused=9 (5 past the run's limit, 4 malformed) ",
                             "cannot remove the unresolved neighbour entry of 10.0.0.7 on device 9999: Operation not permitted"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("run summary:"), text.rfind("run summary:"));
    // A time far from the run's is the store process's own.
    EXPECT_EQ(rows(store_path, "SELECT count(*) || ' ' || sum(found_at = '2026-12-05T19:46:40.000Z') || ' ' || (min(found_at) >"
                               " run_started) || ' ' || min(run_started) || ' ' || min(run_pid) FROM found_media_sources"),
              std::vector<std::string>{"20000 19999 1 2026-12-05T19:46:30.000Z 4242"});
}

// A camera's text cannot make an operator's terminal act. A log file that
// cannot grow costs its lines, never the run: the alarm bounds a retried write.
TEST(logger, a_line_is_one_line_of_plain_text_and_a_refused_write_returns)
{
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    log_Debug("hardware %s", "\xc2\x9b" "2J \x1b]0;owned\x07 \xe2\x80\xae" "gpj.exe \xff");
    std::string text = read_file(log_path);
    EXPECT_NE(text.find("] hardware \\u009B2J \\x1b]0;owned\\x07 \\u202Egpj.exe \\xff\n"), std::string::npos) << text;
    EXPECT_EXIT({
        alarm(5);
        signal(SIGXFSZ, SIG_IGN);
        rlimit none{};
        setrlimit(RLIMIT_FSIZE, &none);
        log_Debug("a line the file refuses");
        _exit(0);
    }, testing::ExitedWithCode(0), "") << "the write was still retried after 5 s";
}
