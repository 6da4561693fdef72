#include <gtest/gtest.h>

#include "catalogue/model_table.h"
#include "platform/text_field.h"
#include "run/run_sequence.h"
#include "test_support.h"

static int run(const char* name = "/usr/sbin/onvif_camscout")
{
    char* argv[] = {const_cast<char*>(name), nullptr};
    return camscout_main(1, argv);
}

static t_network_netmgr_wired wired(const char* dev, const char* state, const char* addr)
{
    t_network_netmgr_wired e{};
    copy_text(e.dev_name, dev);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, addr);
    return e;
}

TEST(run_sequence, second_instance_logs_and_does_nothing_else)
{
    reset_process_state();
    fake::state.reentried_result = 1;
    EXPECT_EQ(run(), 0);
    std::vector<std::string> expected = {"reentried:/usr/sbin/onvif_camscout",
                                         "log:[onvif camscout] reentried..."};
    EXPECT_EQ(fake::state.events, expected);
}

TEST(run_sequence, failed_platform_calls_are_logged_and_the_run_goes_on)
{
    reset_process_state();
    fake::state.auth_result = -1;
    fake::state.net_list_result = -1;
    EXPECT_EQ(run(), 0);
    std::vector<std::string> expected = {
        "reentried:/usr/sbin/onvif_camscout",
        "daemon",
        "PAL_auth_get_auth",
        "log:[onvif camscout] PAL_auth_get_auth() failed",
        "PAL_network_get_netmgr_net_list",
        "log:[onvif camscout] PAL_network_get_netmgr_net_list() failed",
        "log:[onvif camscout] main() in_lan_num=0",
        "fork"};
    EXPECT_EQ(fake::state.events, expected);
}

TEST(run_sequence, parent_ends_at_once_and_descriptors_start_at_zero)
{
    for (pid_t fork_result : {1234, -1}) {
        reset_process_state();
        onvif_socket = 9;
        max_fd = 9;
        fake::state.fork_result = fork_result;
        fake::state.net_list.wired.push_back(wired("eth0", "1", "10.0.0.2"));
        fake::state.nics["eth0"] = fake::nic("eth0", "02:00:00:00:00:01", "10.0.0.2", "10.0.0.255");
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(fake::state.events.back(), "fork");
        EXPECT_EQ(fake::state.log.back(), "[onvif camscout] main() in_lan_num=1");
        EXPECT_EQ(onvif_socket, 0);
        EXPECT_EQ(max_fd, 0);
    }
}

TEST(run_sequence, child_runs_the_worker_for_the_whole_run_then_exits)
{
    reset_process_state();
    fake::state.fork_result = 0;
    EXPECT_EQ(run(), 0);
    int init = event_index("msas_init_onvif");
    int run_wait = event_index("sleep:60");
    int worker_stop = event_index("log:[onvif_camscout] stop recv thread...");
    int pause = event_index("sleep:2");
    int uninit = event_index("msas_uninit_onvif");
    int exit_line = event_index("log:[onvif camscout] onvif_camscout exit(0)");
    EXPECT_GT(init, event_index("fork"));
    EXPECT_LT(init, run_wait);
    EXPECT_LT(run_wait, worker_stop);
    EXPECT_LT(worker_stop, pause);
    EXPECT_LT(pause, uninit);
    EXPECT_LT(uninit, exit_line);
    EXPECT_EQ(exit_line, static_cast<int>(fake::state.events.size()) - 1);
}
