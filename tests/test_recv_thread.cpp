#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstring>

#include "core/globals.h"
#include "fake_platform.h"
#include "transport/recv_thread.h"

using lines = std::vector<std::string>;

static void run_worker(int selects)
{
    fake::state.selects_per_run = selects;
    in_lan_list.push_back(fake::nic("eth0", "02:00:00:00:00:01", "10.0.0.2"));
    start_recv_thread();
    stop_recv_thread();
}

TEST(recv_thread, the_worker_with_and_without_its_socket)
{
    const std::string sock = "onvif_socket(";
    struct {
        int socket;
        lines head, tail;
        int select_nfds;
        std::size_t sent;
    } cases[] = {
        {7, {"socket:7", "log:[onvif camscout] onvif_socket(7) create succ", "setsockopt:7:33", "fcntl:7:3:0", "fcntl:7:4:2050"},
         {"close:7", "nvr_sys_state_destroy_thread", "log:[onvif_camscout] stop recv thread...", "sleep:2"}, 8, 2},
        {0, {"socket:0", "log:[onvif camscout] onvif_socket(0) create succ", "setsockopt:0:33", "fcntl:0:3:0", "fcntl:0:4:2050"},
         {"close:0", "nvr_sys_state_destroy_thread", "log:[onvif_camscout] stop recv thread...", "sleep:2"}, 1, 2},
        {-1, {"socket:-1", "log:[onvif camscout] onvif_socket(-1) error failed", "fcntl:-1:3:0", "fcntl:-1:4:2050",
              "log:[onvif camscout] error: onvif_socket=-1"},
         {"nvr_sys_state_destroy_thread", "log:[onvif_camscout] stop recv thread...", "sleep:2"}, 0, 0},
    };
    for (auto& c : cases) {
        fake::reset();
        fake::state.socket_result = c.socket;
        run_worker(3);
        lines& e = fake::state.events;
        lines start = {"thread_create", "log:[onvif_camscout] start recv thread...",
                       "nvr_sys_state_create_thread:[onvif_camscout] recv thread...:0"};
        ASSERT_GE(e.size(), start.size() + c.head.size() + c.tail.size());
        EXPECT_EQ(lines(e.begin(), e.begin() + 3), start);
        EXPECT_EQ(lines(e.begin() + 3, e.begin() + 3 + c.head.size()), c.head) << c.socket;
        EXPECT_EQ(lines(e.end() - c.tail.size(), e.end()), c.tail) << c.socket;
        EXPECT_EQ(fake::state.selects, 3) << "receives until the run is stopped";
        EXPECT_EQ(fake::state.last_select_nfds, c.select_nfds);
        EXPECT_EQ(fake::state.last_select_had_set, c.socket >= 0);
        EXPECT_EQ(fake::state.sent.size(), c.sent);
        EXPECT_EQ(onvif_socket, 0);
        EXPECT_EQ(max_fd, 0);
        EXPECT_FALSE(recv_thread_held);
    }
}

// Every camera's answers wait in the receive queue: 16 MiB, forced past the
// host's limit where that is allowed, else as much as the host allows.
TEST(recv_thread, the_receive_queue_is_forced_large_or_asked_for_plainly)
{
    for (int fail_forced : {-1, 0}) {
        fake::reset();
        fake::state.fail_sockopt_at = fail_forced;
        run_worker(1);
        auto& opts = fake::state.sockopts;
        std::vector<int> names = {SO_RCVBUFFORCE};
        if (fail_forced == 0)
            names.push_back(SO_RCVBUF);
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(opts[i].level, SOL_SOCKET);
            EXPECT_EQ(opts[i].name, names[i]);
            int bytes = 0;
            std::memcpy(&bytes, opts[i].value.data(), sizeof bytes);
            EXPECT_EQ(bytes, 16 << 20);
        }
        EXPECT_EQ(opts[names.size()].name, IP_MULTICAST_LOOP) << "then the probes' options";
    }
}

TEST(recv_thread, start_and_stop_without_a_worker_or_with_one_already_there)
{
    fake::reset();
    fake::state.thread_result = 11;
    start_recv_thread();
    EXPECT_FALSE(recv_thread_held);
    stop_recv_thread();
    EXPECT_EQ(fake::state.events, (lines{"thread_create", "sleep:2"}));

    fake::reset();
    recv_thread_held = true;  // a worker runs already
    start_recv_thread();
    EXPECT_TRUE(recv_thread_running);
    stop_recv_thread();
    EXPECT_FALSE(recv_thread_running);
    EXPECT_EQ(fake::state.events, (lines{"thread_join", "sleep:2"}));
}
