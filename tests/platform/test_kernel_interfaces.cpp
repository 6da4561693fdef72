#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel_interfaces.h"
#include "platform/platform.h"

// Every network namespace has a loopback interface; reading it sends nothing.
TEST(netcom, loopback_is_listed_flagged_and_left_out_of_the_net_list)
{
    NIC_INFO info{};
    char lo[] = "lo";
    if (netcom_NIC_Get_Info(lo, &info) == 0) {
        EXPECT_STREQ(info.dev, "lo");
        EXPECT_STREQ(info.addr, "127.0.0.1");
    }
    char missing[] = "no-such-dev0";
    EXPECT_NE(netcom_NIC_Get_Info(missing, &info), 0);

    netcom_nic_dev_name_st* head = nullptr;
    ASSERT_EQ(netcom_NIC_Get_Dev_Name_List(&head), 0);
    bool saw_lo = false;
    for (auto* e = head; e != nullptr; e = e->next)
        if (std::strcmp(e->name, "lo") == 0)
            saw_lo = e->exclude_flag != 0;
    netcom_NIC_Free_Dev_Name_List(head);
    EXPECT_TRUE(saw_lo);

    t_auth auth{};
    EXPECT_EQ(PAL_auth_get_auth(&auth), 0);
    t_network_netmgr_net_list list;
    EXPECT_EQ(PAL_network_get_netmgr_net_list(&auth, &list), 0);
    for (const auto& e : list.wired)
        EXPECT_STRNE(e.dev_name, "lo");
}

TEST(make_long_long, packs_brand_high_and_model_low)
{
    EXPECT_EQ(make_long_long(44, 10), (44LL << 32) | 10);
    EXPECT_EQ(make_long_long(1, 0x1570002), (1LL << 32) | 0x1570002);
    EXPECT_NE(make_long_long(44, 6), make_long_long(6, 44));
}
