#include <gtest/gtest.h>

#include "platform/text_field.h"
#include "run/lan_interfaces.h"
#include "test_support.h"

template <typename Entry>
static Entry entry(const char* dev, const char* state, const char* required)
{
    Entry e{};
    copy_text(e.dev_name, dev);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, required);
    return e;
}

static void add_nic(const char* dev, const char* addr = "10.0.0.2", const char* b_addr = "10.0.0.255")
{
    fake::state.nics[dev] = fake::nic(dev, "02:00:00:00:00:01", addr, b_addr);
}

static std::vector<std::string> collected()
{
    t_network_netmgr_net_list list = fake::state.net_list;
    collect_in_lan_list(list);
    std::vector<std::string> devs;
    for (const NIC_INFO& n : in_lan_list)
        devs.push_back(n.dev);
    return devs;
}

struct state_case {
    const char* state;
    bool wired_qualifies;
    bool bridge_qualifies;
};

TEST(lan_interfaces, state_member_must_match_exactly)
{
    const state_case cases[] = {
        {"1", true, false},       {"1 ", false, false},     {"10", false, false},
        {"01", false, false},     {"enable", false, true},  {"Enable", false, false},
        {"enabled", false, false}, {"", false, false},
    };
    for (const state_case& c : cases) {
        reset_process_state();
        add_nic("eth0");
        add_nic("wlan0");
        add_nic("br0");
        fake::state.net_list.wired.push_back(entry<t_network_netmgr_wired>("eth0", c.state, "x"));
        fake::state.net_list.wireless.push_back(entry<t_network_netmgr_wireless>("wlan0", c.state, "x"));
        fake::state.net_list.bridges.push_back(entry<t_network_netmgr_bridge>("br0", c.state, "x"));
        std::vector<std::string> expected;
        if (c.wired_qualifies)
            expected = {"eth0", "wlan0"};
        if (c.bridge_qualifies)
            expected = {"br0"};
        EXPECT_EQ(collected(), expected) << "state [" << c.state << "]";
    }
}

TEST(lan_interfaces, empty_required_member_is_skipped_before_asking_for_info)
{
    reset_process_state();
    add_nic("eth0");
    fake::state.net_list.wired.push_back(entry<t_network_netmgr_wired>("eth0", "1", ""));
    EXPECT_TRUE(collected().empty());
    EXPECT_TRUE(fake::events_named("netcom_NIC_Get_Info").empty());
}

TEST(lan_interfaces, unspecified_addresses_are_left_out_but_empty_ones_are_not)
{
    reset_process_state();
    add_nic("a0", "0.0.0.0", "10.0.0.255");
    add_nic("b0", "10.0.0.2", "0.0.0.0");
    add_nic("c0", "", "");
    for (const char* dev : {"a0", "b0", "c0", "missing0"})
        fake::state.net_list.wired.push_back(entry<t_network_netmgr_wired>(dev, "1", "x"));
    EXPECT_EQ(collected(), std::vector<std::string>{"c0"});
}

TEST(lan_interfaces, order_is_wired_wireless_bridges_and_duplicates_stay)
{
    reset_process_state();
    for (const char* dev : {"eth0", "eth1", "wlan0", "br0"})
        add_nic(dev);
    fake::state.net_list.bridges.push_back(entry<t_network_netmgr_bridge>("br0", "enable", "x"));
    fake::state.net_list.bridges.push_back(entry<t_network_netmgr_bridge>("eth1", "enable", "x"));
    fake::state.net_list.wireless.push_back(entry<t_network_netmgr_wireless>("wlan0", "1", "x"));
    fake::state.net_list.wired.push_back(entry<t_network_netmgr_wired>("eth1", "1", "x"));
    fake::state.net_list.wired.push_back(entry<t_network_netmgr_wired>("eth0", "1", "x"));
    EXPECT_EQ(collected(), (std::vector<std::string>{"eth1", "eth0", "wlan0", "br0", "eth1"}));
    ASSERT_EQ(fake::state.log.size(), 5u);
    EXPECT_EQ(fake::state.log[0], "[onvif camscout] main() dev=[eth1], addr=[10.0.0.2], b_addr=[10.0.0.255]");
}
