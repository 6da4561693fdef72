// What the case files cannot show: the model table's rules over all its rows.
#include <gtest/gtest.h>

#include "catalogue/model_table.h"
#include "response/response.h"

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
// sources (brand 9), which are recorded as brand 44.
TEST(model_table, rows_write_their_brand_and_only_brand_9_writes_44)
{
    for (const model_row& row : model_table)
        EXPECT_EQ(row.record_brand, row.brand_no == 9 ? 44 : row.brand_no) << row.model_name;
}
