#include <gtest/gtest.h>

#include "core/debug_log.h"
#include "core/globals.h"
#include "fake_platform.h"
#include "platform/text_field.h"
#include "run/run_sequence.h"

using lines = std::vector<std::string>;

static int run()
{
    char name[] = "/usr/sbin/onvif_camscout";
    char* argv[] = {name, nullptr};
    return camscout_main(1, argv);
}

TEST(run_sequence, the_events_of_every_way_a_start_can_end_before_the_run)
{
    struct {
        int reentried, auth, net_list;
        pid_t fork;
        lines events;
    } cases[] = {
        {1, 0, 0, 1, {"reentried:/usr/sbin/onvif_camscout", "log:[onvif camscout] reentried..."}},
        {0, -1, -1, 1234,
         {"reentried:/usr/sbin/onvif_camscout", "daemon:0:0", "PAL_auth_get_auth",
          "log:[onvif camscout] PAL_auth_get_auth() failed", "PAL_network_get_netmgr_net_list",
          "log:[onvif camscout] PAL_network_get_netmgr_net_list() failed",
          "log:[onvif camscout] main() in_lan_num=0", "fork"}},
        {0, 0, 0, -1,
         {"reentried:/usr/sbin/onvif_camscout", "daemon:0:0", "PAL_auth_get_auth",
          "PAL_network_get_netmgr_net_list", "log:[onvif camscout] main() in_lan_num=0", "fork"}},
    };
    for (auto& c : cases) {
        fake::reset();
        onvif_socket = max_fd = 9;
        fake::state.reentried_result = c.reentried;
        fake::state.auth_result = c.auth;
        fake::state.net_list_result = c.net_list;
        fake::state.fork_result = c.fork;
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(fake::state.events, c.events);
        EXPECT_EQ(onvif_socket, c.reentried ? 9 : 0);
        EXPECT_EQ(max_fd, c.reentried ? 9 : 0);
    }
}

TEST(run_sequence, the_child_runs_the_worker_60_seconds_then_pauses_and_exits)
{
    fake::reset();
    fake::state.fork_result = 0;
    EXPECT_EQ(run(), 0);
    lines order = {"fork", "msas_init_onvif", "thread_create", "sleep:60", "sleep:2",
                   "msas_uninit_onvif", "log:[onvif camscout] onvif_camscout exit(0)"};
    for (std::size_t i = 1; i < order.size(); ++i)
        EXPECT_LT(fake::event_index(order[i - 1]), fake::event_index(order[i])) << order[i];
    EXPECT_EQ(fake::state.events.back(), order.back());
}

TEST(debug_log, cuts_at_4095_characters_and_passes_percent_through)
{
    fake::reset();
    EXPECT_EQ(debug_log("%s", std::string(5000, 'x').c_str()), 0);
    debug_log("[onvif camscout] Find %s", "100%d %s %n");
    EXPECT_EQ(fake::state.log, (lines{std::string(4095, 'x'), "[onvif camscout] Find 100%d %s %n"}));
}
