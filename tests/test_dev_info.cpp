#include <gtest/gtest.h>

#include "platform/text_field.h"
#include "response/dev_info.h"
#include "test_support.h"

static dev_info_ptr record(int brand, int port, const char* mac = "02:00:00:00:00:01")
{
    dev_info_ptr info = create_dev_info(fake::addr("10.0.0.9"), mac);
    info->brand_id = brand;
    info->port = port;
    copy_text(info->model, "M");
    return info;
}

TEST(store_dev_info, forces_port_80_for_some_brands_after_logging)
{
    struct { int brand; int port; } cases[] = {
        {1, 80}, {3, 80}, {31, 80}, {53, 80}, {71, 80}, {130, 80}, {145, 80}, {44, 8080}, {2, 8080}, {139, 8080},
    };
    for (auto& c : cases) {
        reset_process_state();
        store_dev_info(record(c.brand, 8080));
        ASSERT_EQ(fake::state.stored.size(), 1u);
        EXPECT_EQ(fake::state.stored[0].port, c.port) << "brand " << c.brand;
        EXPECT_EQ(fake::state.log, std::vector<std::string>{
            "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[M], pInfo->mac_addr=[02:00:00:00:00:01]"});
    }
}

TEST(store_dev_info, an_unknown_mac_is_logged_but_not_stored)
{
    reset_process_state();
    store_dev_info(record(44, 80, "00:00:00:00:00:00"));
    EXPECT_TRUE(fake::state.stored.empty());
    EXPECT_EQ(fake::state.log.size(), 1u);
}

TEST(create_dev_info, cuts_every_text_to_its_field)
{
    dev_info_ptr info = create_dev_info(fake::addr("255.255.255.255"), std::string(40, 'm').c_str());
    EXPECT_STREQ(info->ip_addr, "255.255.255.255");
    EXPECT_EQ(std::string(info->mac_addr), std::string(23, 'm'));
    const TMediaSourceDevInfo& r = *info;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&r);
    for (std::size_t i = 112; i < sizeof r; ++i)
        EXPECT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(r.model_id, 0);
}
