#include <gtest/gtest.h>

#include "fake_platform.h"
#include "platform/text_field.h"
#include "response/dev_info.h"

static dev_info_ptr record(int brand, const char* mac = "02:00:00:00:00:01")
{
    dev_info_ptr info = create_dev_info(fake::addr("10.0.0.9"), mac);
    info->brand_id = brand;
    info->port = 8080;
    copy_text(info->model, "M");
    return info;
}

TEST(store_dev_info, logs_forces_port_80_for_some_brands_and_stores_a_known_mac)
{
    std::vector<std::pair<int, int>> brand_port = {{44, 8080}, {2, 8080}, {139, 8080}, {0, 8080}};
    for (int brand : forced_port_brands)
        brand_port.push_back({brand, 80});
    for (auto [brand, port] : brand_port) {
        for (const char* mac : {"02:00:00:00:00:01", "00:00:00:00:00:00"}) {
            fake::reset();
            store_dev_info(record(brand, mac));
            bool known = mac[1] == '2';
            ASSERT_EQ(fake::state.stored.size(), known ? 1u : 0u);
            if (known) {
                EXPECT_EQ(fake::state.stored[0].port, port) << "brand " << brand;
            }
            EXPECT_EQ(fake::state.log, std::vector<std::string>{
                "[onvif camscout] msas_store_found_media_source_onvif, pInfo->model=[M], pInfo->mac_addr=[" +
                std::string(mac) + "]"});
        }
    }
}

TEST(create_dev_info, cuts_every_text_to_its_field_and_zeroes_the_rest)
{
    dev_info_ptr info = create_dev_info(fake::addr("255.255.255.255"), std::string(40, 'm').c_str());
    EXPECT_STREQ(info->ip_addr, "255.255.255.255");
    EXPECT_EQ(std::string(info->mac_addr), std::string(23, 'm'));
    TMediaSourceDevInfo zero{};
    copy_text(zero.ip_addr, "255.255.255.255");
    copy_text(zero.mac_addr, std::string(23, 'm'));
    EXPECT_EQ(std::memcmp(info.get(), &zero, sizeof zero), 0);
}
