// The two processes of a run: the store process's check of what reaches
// it, and the log they share.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "host/store/store_message.h"
#include "host/store/store_process.h"
#include "platform/platform.h"
#include "run/text_field.h"
#include "store_and_log.h"

// Every message that is not one of this run is logged and passed over; the
// finds after them are stored, up to a run's limit, and the pair's end is
// the run's end.
TEST(store_process, refuses_what_is_not_a_find_of_this_run_and_keeps_at_most_a_runs_worth)
{
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    found_message good{found_message_kind, 0, 1796500000000, 4242, 1796499990000, {}};
    copy_text(good.info.ip_addr, "10.0.0.9");
    copy_text(good.info.mac_addr, "02:00:00:00:00:09");
    found_message other_kind = good, padded = good, forged = good, in_1970 = good, overlong = good;
    other_kind.kind = 7;
    padded.unused = 1;
    forged.run_pid = -1;
    in_1970.found_at_ms = 0;
    copy_text(in_1970.info.ip_addr, "10.0.0.8");
    std::memset(overlong.info.model, 'm', sizeof overlong.info.model);
    found_message elsewhere = good;  // a neighbour entry off the run's LANs
    elsewhere.kind = neighbour_message_kind;
    elsewhere.neighbour = {htonl(0x0a000007), "nosuchdev0"};
    std::thread sender([&] {
        char longer[sizeof good + 8] = {};
        send(ends[0], &good, 10, 0);
        send(ends[0], longer, sizeof longer, 0);
        for (const found_message& m : {other_kind, padded, forged, overlong, elsewhere, in_1970})
            send(ends[0], &m, sizeof m, 0);
        for (int i = 0; i < 20004; ++i)
            send(ends[0], &good, sizeof good, 0);
        close(ends[0]);
    });
    store_process_serve(ends[1], 4242, 1796499990000);
    sender.join();
    close(ends[1]);

    std::string text = read_file(log_path);
    for (std::string line : {"10 bytes from the discovery process: not the size of a message",
                             "296 bytes from the discovery process: not the size of a message",
                             "288 bytes from the discovery process: not a message the discovery process sends",
                             "288 bytes from the discovery process: padding not zero",
                             "288 bytes from the discovery process: not of this run",
                             "288 bytes from the discovery process: a field past its size",
                             "5 found media sources refused: more than 20000 in one run",
                             "cannot remove the unresolved neighbour entry of 10.0.0.7 on nosuchdev0: Operation not permitted"})
        EXPECT_NE(text.find("[msas] " + std::string(line.find(" bytes from ") != std::string::npos ? "refused a message of " : "") + line),
                  std::string::npos) << line;
    // A time far from the run's is the store process's own.
    EXPECT_EQ(rows(store_path, "SELECT ip_addr || ' ' || count(*) || ' ' || run_pid || ' ' || iif(ip_addr = '10.0.0.8',"
                               " found_at > run_started, found_at) || ' ' || run_started FROM found_media_sources"
                               " GROUP BY ip_addr ORDER BY ip_addr"),
              (std::vector<std::string>{"10.0.0.8 1 4242 1 2026-12-05T19:46:30.000Z",
                                        "10.0.0.9 19999 4242 2026-12-05T19:46:40.000Z 2026-12-05T19:46:30.000Z"}));
}

// A log file that cannot grow (a full disk, a size limit) costs its lines,
// never the run: the write gives up. The alarm bounds a write that retries.
TEST(logger, a_write_the_file_refuses_returns)
{
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    pid_t child = fork();
    if (child == 0) {
        alarm(5);
        signal(SIGXFSZ, SIG_IGN);
        rlimit none{0, 0};
        setrlimit(RLIMIT_FSIZE, &none);
        log_Debug("a line the file refuses");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the write was still retried after 5 s";
}
