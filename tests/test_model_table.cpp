#include <gtest/gtest.h>

#include <string>

#include "catalogue/model_table.h"
#include "platform/platform.h"
#include "response/identification.h"

TEST(model_table, no_name_contains_the_name_of_an_earlier_row)
{
    for (std::size_t i = 0; i < model_table_rows; ++i) {
        ASSERT_NE(model_table[i].model_name[0], '\0') << "row " << i;
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_FALSE(contains_nocase(model_table[i].model_name, model_table[j].model_name))
                << model_table[i].model_name << " would never be reached behind "
                << model_table[j].model_name;
    }
}

TEST(model_table, record_brand_is_the_brand_except_for_the_brand_9_rows)
{
    int brand_9_rows = 0;
    for (const model_row& row : model_table) {
        if (row.brand_no == 9) {
            ++brand_9_rows;
            EXPECT_EQ(row.record_brand, 44) << row.model_name;
        } else {
            EXPECT_EQ(row.record_brand, row.brand_no) << row.model_name;
        }
    }
    EXPECT_EQ(brand_9_rows, 9);
}

TEST(model_table, start_up_fills_every_catalogue_id)
{
    init_model_table();
    EXPECT_EQ(model_table[0].catalogue_id, make_long_long(44, 10));
    for (const model_row& row : model_table)
        EXPECT_EQ(row.catalogue_id, make_long_long(row.brand_no, row.model_no)) << row.model_name;
    std::string last = model_table[model_table_rows - 1].model_name;
    EXPECT_EQ(last, "SRXE4-8X31-EBT-IR1");
}

TEST(model_table, brand_1_rows_carry_their_large_model_numbers)
{
    int found = 0;
    for (const model_row& row : model_table) {
        if (row.brand_no != 1)
            continue;
        EXPECT_TRUE(row.model_no == 0x1400002 || row.model_no == 0x1570002) << row.model_name;
        ++found;
    }
    EXPECT_EQ(found, 2);
}
