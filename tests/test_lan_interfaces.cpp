#include <gtest/gtest.h>

#include "core/globals.h"
#include "fake_platform.h"
#include "platform/text_field.h"
#include "run/lan_interfaces.h"

template <typename Entry>
static Entry entry(const char* dev, const char* state, const char* required = "x")
{
    Entry e{};
    copy_text(e.dev_name, dev);
    copy_text(e.state, state);
    copy_text(e.ipv4_addr, required);
    return e;
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

TEST(lan_interfaces, the_state_member_must_match_exactly)
{
    struct {
        const char* state;
        std::vector<std::string> listed;
    } cases[] = {
        {"1", {"eth0", "wlan0"}}, {"1 ", {}}, {"10", {}},  {"01", {}},
        {"enable", {"br0"}},     {"Enable", {}}, {"enabled", {}}, {"", {}},
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
    fake::state.nics["a0"] = fake::nic("a0", "m", "0.0.0.0");
    fake::state.nics["b0"] = fake::nic("b0", "m", "10.0.0.2", "0.0.0.0");
    fake::state.nics["c0"] = fake::nic("c0", "m", "", "");  // empty is not 0.0.0.0
    fake::state.nics["eth1"] = fake::nic("eth1", "m", "10.0.1.2", "10.0.1.255");
    fake::state.nics["noreq0"] = fake::nic("noreq0", "m", "10.0.2.2");
    auto& list = fake::state.net_list;
    list.bridges.push_back(entry<t_network_netmgr_bridge>("eth1", "enable"));
    list.wireless.push_back(entry<t_network_netmgr_wireless>("c0", "1"));
    for (const char* dev : {"a0", "b0", "missing0", "eth1"})
        list.wired.push_back(entry<t_network_netmgr_wired>(dev, "1"));
    list.wired.push_back(entry<t_network_netmgr_wired>("noreq0", "1", ""));
    EXPECT_EQ(collected(), (std::vector<std::string>{"eth1", "c0", "eth1"}));
    EXPECT_EQ(fake::state.log[0], "[onvif camscout] main() dev=[eth1], addr=[10.0.1.2], b_addr=[10.0.1.255]");
    EXPECT_EQ(fake::state.log.size(), 3u);
    EXPECT_EQ(fake::event_index("netcom_NIC_Get_Info:noreq0"), -1) << "asked before the required member";
    EXPECT_EQ(std::memcmp(&in_lan_list[0], &fake::state.nics["eth1"], sizeof(NIC_INFO)), 0);
}

// Where the platform's libraries put the members read, from the layout they
// document: text members of 64 bytes counted from 1, and a 4-byte scalar
// after each listed text member.
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
    struct {
        const char* kind;
        std::size_t size, dev_name, state, required;  // as compiled
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
