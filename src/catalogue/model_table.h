// The catalogue of camera model names that the recorder platform knows,
// with their brand numbers and catalogue identifiers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct model_row {
    const char* model_name;   // looked for, letter case ignored, in a reported model text
    long long catalogue_id;   // make_long_long(brand_no, model_no), filled at start-up
    int32_t record_brand;     // written to the record's brand_id
    int32_t brand_no;
    int32_t model_no;
};

inline constexpr std::size_t model_table_rows = 318;

// Ordered so that no name contains the name of an earlier row: the first
// row found in a text is the most specific one.
extern std::array<model_row, model_table_rows> model_table;

// Fills every row's catalogue_id; runs once, before anything reads the table.
void init_model_table();
