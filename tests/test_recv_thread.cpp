#include <gtest/gtest.h>

#include <sys/socket.h>

#include <cstring>
#include <thread>

#include "test_support.h"
#include "transport/recv_thread.h"

TEST(recv_thread, registers_opens_probes_and_tears_down_in_order)
{
    reset_process_state();
    in_lan_list.push_back(fake::nic("eth0", "02:00:00:00:00:01", "10.0.0.2", "10.0.0.255"));
    start_recv_thread();
    while (fake::state.selects == 0)
        std::this_thread::yield();
    stop_recv_thread();

    std::vector<std::string> head(fake::state.events.begin(), fake::state.events.begin() + 4);
    std::vector<std::string> expected_head = {
        "log:[onvif_camscout] start recv thread...",
        "nvr_sys_state_create_thread:[onvif_camscout] recv thread...:0",
        "socket:7",
        "log:[onvif camscout] onvif_socket(7) create succ"};
    EXPECT_EQ(head, expected_head);
    std::vector<std::string> tail(fake::state.events.end() - 4, fake::state.events.end());
    std::vector<std::string> expected_tail = {"close:7", "nvr_sys_state_destroy_thread",
                                              "log:[onvif_camscout] stop recv thread...", "sleep:2"};
    EXPECT_EQ(tail, expected_tail);
    EXPECT_EQ(fake::events_named("fcntl:7").size(), 2u);
    // The receive queue must hold every camera's answers until the worker gets to them.
    ASSERT_GE(fake::state.sockopts.size(), 1u);
    EXPECT_EQ(fake::state.sockopts[0].name, SO_RCVBUFFORCE);
    int bytes = 0;
    std::memcpy(&bytes, fake::state.sockopts[0].value.data(), sizeof bytes);
    EXPECT_GE(bytes, 8 << 20);
    EXPECT_EQ(fake::state.sent.size(), 2u);
    EXPECT_EQ(fake::state.last_select_nfds, 8);
    EXPECT_EQ(onvif_socket, 0);
    EXPECT_EQ(max_fd, 0);
    EXPECT_FALSE(recv_thread_held);
}

TEST(recv_thread, a_second_start_makes_no_second_worker)
{
    reset_process_state();
    start_recv_thread();
    start_recv_thread();
    stop_recv_thread();
    EXPECT_EQ(fake::events_named("log:[onvif_camscout] start recv thread...").size(), 1u);
    EXPECT_EQ(fake::events_named("sleep:").size(), 1u);
}

TEST(recv_thread, a_stop_before_the_loop_means_no_receive_step)
{
    reset_process_state();
    recv_thread_running = false;
    onvif_recv_thread();
    EXPECT_EQ(fake::state.selects, 0);
    EXPECT_EQ(fake::events_named("close:7").size(), 1u);
}

TEST(recv_thread, without_a_socket_the_worker_waits_without_a_descriptor)
{
    reset_process_state();
    fake::state.socket_result = -1;
    in_lan_list.push_back(fake::nic("eth0", "02:00:00:00:00:01", "10.0.0.2", "10.0.0.255"));
    start_recv_thread();
    while (fake::state.selects == 0)
        std::this_thread::yield();
    stop_recv_thread();
    EXPECT_EQ(fake::state.log[1], "[onvif camscout] onvif_socket(-1) error failed");
    EXPECT_EQ(fake::state.log[2], "[onvif camscout] error: onvif_socket=-1");
    EXPECT_EQ(fake::state.last_select_nfds, 0);
    EXPECT_FALSE(fake::state.last_select_had_set);
    EXPECT_TRUE(fake::events_named("close:").empty());
    EXPECT_EQ(onvif_socket, 0);
}

TEST(recv_thread, stop_without_a_worker_still_pauses)
{
    reset_process_state();
    stop_recv_thread();
    EXPECT_EQ(fake::state.events, std::vector<std::string>{"sleep:2"});
}
