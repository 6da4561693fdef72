// The two processes of a run: the store process's check of what reaches
// it, and the bounded wait for it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "host/process/child_wait.h"
#include "host/store/store_message.h"
#include "host/store/store_process.h"
#include "run/text_field.h"
#include "store_and_log.h"

TEST(child_wait, a_child_that_outlives_its_wait_is_stopped)
{
    pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    EXPECT_FALSE(wait_child(child, std::chrono::milliseconds(100)));
    stop_child(child);
    EXPECT_TRUE(waitpid(child, nullptr, WNOHANG) < 0 && errno == ECHILD) << "not reaped";
}

// Every message that is not one found media source of this run is logged
// and passed over, a 0-byte one too; the find after them is stored.
TEST(store_process, refuses_what_is_not_a_find_of_this_run_and_goes_on)
{
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    found_message good{found_message_kind, 0, 1796500000000, 4242, 1796499990000, {}};
    copy_text(good.info.ip_addr, "10.0.0.9");
    copy_text(good.info.mac_addr, "02:00:00:00:00:09");
    found_message other_kind = good, padded = good, forged = good, in_1970 = good;
    other_kind.kind = 7;
    padded.unused = 1;
    forged.run_pid = -1;
    in_1970.found_at_ms = 0;
    copy_text(in_1970.info.ip_addr, "10.0.0.8");
    char longer[sizeof good + 8] = {};
    send(ends[0], &good, 10, 0);
    send(ends[0], &good, 0, 0);
    send(ends[0], longer, sizeof longer, 0);
    for (const found_message& m : {other_kind, padded, forged, in_1970, good})
        send(ends[0], &m, sizeof m, 0);
    close(ends[0]);
    store_process_serve(ends[1], 4242, 1796499990000);
    close(ends[1]);

    std::string text = read_file(log_path);
    for (std::string line : {"10 bytes from the discovery process: not the size of a found media source",
                             "0 bytes from the discovery process: not the size of a found media source",
                             "296 bytes from the discovery process: not the size of a found media source",
                             "288 bytes from the discovery process: not a found media source",
                             "288 bytes from the discovery process: padding not zero",
                             "288 bytes from the discovery process: not of this run"})
        EXPECT_NE(text.find("[msas] refused a message of " + line), std::string::npos) << text;
    // A time far from the run's is the store process's own.
    EXPECT_EQ(rows(store_path, "SELECT ip_addr || ' ' || run_pid || ' ' || iif(ip_addr = '10.0.0.8', found_at > run_started,"
                               " found_at) || ' ' || run_started FROM found_media_sources ORDER BY ip_addr"),
              (std::vector<std::string>{"10.0.0.8 4242 1 2026-12-05T19:46:30.000Z",
                                        "10.0.0.9 4242 2026-12-05T19:46:40.000Z 2026-12-05T19:46:30.000Z"}));
}
