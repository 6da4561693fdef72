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

// Where the platform's libraries put the members read, from the layout they
// document: text members of 64 bytes counted from 1, and a 4-byte scalar
// after each listed text member.
struct layout_case {
    const char* kind;
    std::size_t size, dev_name, state, required;  // as compiled
    int texts;
    std::vector<int> scalars_after;
    int dev_member, state_member, required_member;
};

static std::size_t text_offset(int member, const std::vector<int>& scalars_after)
{
    std::size_t offset = static_cast<std::size_t>(member - 1) * 64;
    for (int s : scalars_after)
        offset += s < member ? 4 : 0;
    return offset;
}

#define LAYOUT(T) #T, sizeof(T), offsetof(T, dev_name), offsetof(T, state), offsetof(T, ipv4_addr)

TEST(lan_interfaces, net_list_entries_have_the_documented_layout)
{
    const layout_case cases[] = {
        {LAYOUT(t_network_netmgr_wired), 31, {6, 14, 24, 31}, 14, 18, 20},
        {LAYOUT(t_network_netmgr_wireless), 21, {8, 16}, 18, 11, 13},
        {LAYOUT(t_network_netmgr_bridge), 36, {19}, 1, 24, 34},
    };
    for (const layout_case& c : cases) {
        EXPECT_EQ(c.size, c.texts * 64u + c.scalars_after.size() * 4) << c.kind;
        EXPECT_EQ(c.dev_name, text_offset(c.dev_member, c.scalars_after)) << c.kind;
        EXPECT_EQ(c.state, text_offset(c.state_member, c.scalars_after)) << c.kind;
        EXPECT_EQ(c.required, text_offset(c.required_member, c.scalars_after)) << c.kind;
    }
}
