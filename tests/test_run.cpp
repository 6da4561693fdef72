// Run control: the entry sequence, LAN interface collection, debug_log.
#include <gtest/gtest.h>

#include "core/debug_log.h"
#include "core/globals.h"
#include "fake_platform.h"
#include "platform/text_field.h"
#include "run/lan_interfaces.h"
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
    const std::string me = "reentried:/usr/sbin/onvif_camscout", count = "log:[onvif camscout] main() in_lan_num=0";
    struct { int reentried, auth, net_list; pid_t fork; lines events; } cases[] = {
        {1, 0, 0, 1, {me, "log:[onvif camscout] reentried..."}},
        {0, -1, -1, 1234, {me, "daemon:0:0", "PAL_auth_get_auth", "log:[onvif camscout] PAL_auth_get_auth() failed",
                           "PAL_network_get_netmgr_net_list",
                           "log:[onvif camscout] PAL_network_get_netmgr_net_list() failed", count, "fork"}},
        {0, 0, 0, -1, {me, "daemon:0:0", "PAL_auth_get_auth", "PAL_network_get_netmgr_net_list", count, "fork"}},
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
        EXPECT_EQ(std::make_pair(onvif_socket, max_fd), c.reentried ? std::make_pair(9, 9) : std::make_pair(0, 0));
    }
}

TEST(run_sequence, the_child_runs_the_worker_60_seconds_then_pauses_and_exits)
{
    fake::reset();
    fake::state.fork_result = 0;
    EXPECT_EQ(run(), 0);
    lines order = {"fork", "msas_init_onvif", "thread_create", "sleep:60", "sleep:2", "msas_uninit_onvif",
                   "log:[onvif camscout] onvif_camscout exit(0)"};
    for (std::size_t i = 1; i < order.size(); ++i)
        EXPECT_LT(fake::event_index(order[i - 1]), fake::event_index(order[i])) << order[i];
    EXPECT_EQ(fake::state.events.back(), order.back());
}

TEST(debug_log, cuts_at_4095_characters_and_passes_percent_through)
{
    fake::reset();
    EXPECT_EQ(debug_log("%s", std::string(5000, 'x').c_str()) + debug_log("[x] %s", "100%d %s %n"), 0);
    EXPECT_EQ(fake::state.log, (lines{std::string(4095, 'x'), "[x] 100%d %s %n"}));
}

template <typename Entry>
static Entry entry(const char* dev, const char* state, const char* required = "x")
{
    Entry e{};
    copy_text(e.dev_name, dev);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, required);
    return e;
}

static lines collected()
{
    collect_in_lan_list(fake::state.net_list);
    lines devs;
    for (const NIC_INFO& n : in_lan_list)
        devs.push_back(n.dev);
    return devs;
}

TEST(lan_interfaces, the_state_member_must_match_exactly)
{
    struct { const char* state; lines listed; } cases[] = {
        {"1", {"eth0", "wlan0"}}, {"1 ", {}}, {"10", {}}, {"01", {}}, {"enable", {"br0"}}, {"Enable", {}},
        {"enabled", {}}, {"", {}},
    };
    for (auto& c : cases) {
        fake::reset();
        for (const char* dev : {"eth0", "wlan0", "br0"})
            fake::state.nics[dev] = fake::nic(dev, "02:00:00:00:00:01", "10.0.0.2");
        fake::state.net_list.wired.push_back(entry<t_network_netmgr_wired>("eth0", c.state));
        fake::state.net_list.wireless.push_back(entry<t_network_netmgr_wireless>("wlan0", c.state));
        fake::state.net_list.bridges.push_back(entry<t_network_netmgr_bridge>("br0", c.state));
        EXPECT_EQ(collected(), c.listed) << "state [" << c.state << "]";
    }
}

TEST(lan_interfaces, addresses_order_duplicates_and_the_log_line)
{
    fake::reset();
    for (auto [dev, addr, b_addr] : {std::make_tuple("a0", "0.0.0.0", "10.0.0.255"), {"b0", "10.0.0.2", "0.0.0.0"},
                                     {"c0", "", ""}, {"eth1", "10.0.1.2", "10.0.1.255"}, {"noreq0", "10.0.2.2", "x"}})
        fake::state.nics[dev] = fake::nic(dev, "m", addr, b_addr);
    auto& list = fake::state.net_list;
    list.bridges.push_back(entry<t_network_netmgr_bridge>("eth1", "enable"));
    list.wireless.push_back(entry<t_network_netmgr_wireless>("c0", "1"));  // empty is not 0.0.0.0
    for (const char* dev : {"a0", "b0", "missing0", "eth1"})
        list.wired.push_back(entry<t_network_netmgr_wired>(dev, "1"));
    list.wired.push_back(entry<t_network_netmgr_wired>("noreq0", "1", ""));
    EXPECT_EQ(collected(), (lines{"eth1", "c0", "eth1"}));
    EXPECT_EQ(fake::state.log[0], "[onvif camscout] main() dev=[eth1], addr=[10.0.1.2], b_addr=[10.0.1.255]");
    EXPECT_EQ(fake::state.log.size(), 3u);
    EXPECT_EQ(fake::event_index("netcom_NIC_Get_Info:noreq0"), -1) << "asked before the required member";
    EXPECT_EQ(std::memcmp(&in_lan_list[0], &fake::state.nics["eth1"], sizeof(NIC_INFO)), 0);
}

// Where the platform's libraries put the members read, from the layout they
// document: 64-byte text members counted from 1, a 4-byte scalar after each
// listed text member.
static std::size_t text_offset(int member, const std::vector<int>& scalars_after)
{
    return static_cast<std::size_t>(member - 1) * 64 +
           4 * static_cast<std::size_t>(std::count_if(scalars_after.begin(), scalars_after.end(),
                                                      [&](int s) { return s < member; }));
}

#define LAYOUT(T) #T, sizeof(T), offsetof(T, dev_name), offsetof(T, state), offsetof(T, ipv4_addr)

TEST(lan_interfaces, net_list_entries_have_the_documented_layout)
{
    struct {
        const char* kind;
        std::size_t size, dev_name, state, required;  // as compiled; then as documented:
        int texts;
        std::vector<int> scalars_after;
        int dev_member, state_member, required_member;
    } cases[] = {
        {LAYOUT(t_network_netmgr_wired), 31, {6, 14, 24, 31}, 14, 18, 20},
        {LAYOUT(t_network_netmgr_wireless), 21, {8, 16}, 18, 11, 13},
        {LAYOUT(t_network_netmgr_bridge), 36, {19}, 1, 24, 34},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.size, c.texts * 64u + c.scalars_after.size() * 4) << c.kind;
        EXPECT_EQ(c.dev_name, text_offset(c.dev_member, c.scalars_after)) << c.kind;
        EXPECT_EQ(c.state, text_offset(c.state_member, c.scalars_after)) << c.kind;
        EXPECT_EQ(c.required, text_offset(c.required_member, c.scalars_after)) << c.kind;
    }
}
