// What the case files cannot show: the records' layouts as the platform's
// libraries document them, and the order of the model table.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/model_table.h"
#include "platform/records.h"
#include "response/identification.h"

// 64-byte text members counted from 1, a 4-byte scalar after each listed one.
static std::size_t text_offset(int member, const std::vector<int>& scalars_after)
{
    auto before = std::count_if(scalars_after.begin(), scalars_after.end(), [&](int s) { return s < member; });
    return static_cast<std::size_t>(member - 1) * 64 + 4 * static_cast<std::size_t>(before);
}

#define LAYOUT(T) #T, sizeof(T), offsetof(T, dev_name), offsetof(T, state), offsetof(T, ipv4_addr)

TEST(records, net_list_entries_have_the_documented_layout)
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

// The look-up takes the first row whose name the text contains, so a row
// behind a row whose name it contains could never be found.
TEST(model_table, no_model_name_contains_the_name_of_an_earlier_row)
{
    for (std::size_t i = 0; i < model_table_rows; ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_FALSE(contains_nocase(model_table[i].model_name, model_table[j].model_name))
                << model_table[i].model_name << " behind " << model_table[j].model_name;
}

// Rows write their own brand number, except the maker's multi-channel
// sources (brand 9), which are recorded as brand 44; no row leaves it.
TEST(model_table, rows_write_their_brand_and_only_brand_9_writes_44)
{
    int brand_9_rows = 0;
    for (const model_row& row : model_table) {
        brand_9_rows += row.brand_no == 9;
        EXPECT_EQ(row.record_brand, row.brand_no == 9 ? 44 : row.brand_no) << row.model_name;
    }
    EXPECT_EQ(brand_9_rows, 9);
}
