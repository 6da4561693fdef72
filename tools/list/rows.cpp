#include "rows.h"

#include <charconv>

// The whole text as an integer; SQL NULL comes as an empty text.
static bool integer_of(const std::string& text, long long& value)
{
    const char* end = text.data() + text.size();
    auto [at, failed] = std::from_chars(text.data(), end, value);
    return failed == std::errc() && at == end;
}

source_row source_row_of(const store_reader& store, const result_row& r)
{
    source_row out{r[0], r[1], r[2], r[3], r[4]};
    long long model_id = 0;
    auto integer = [&](std::size_t i, const char* column, long long& value) {
        if (!integer_of(r[i], value))
            throw unexpected_cell("row " + r[8] + (store.central ? " of " + r[0] : "") + ": " + column +
                                  " holds no integer");
    };
    integer(5, "port", out.port);
    integer(6, "brand_id", out.brand);
    integer(7, "model_id", model_id);
    out.model_brand = model_id >> 32;
    out.model_no = model_id & 4294967295;
    if (store.central) {
        out.model.clear();
        for (std::size_t i = 0; i + 1 < r[3].size(); i += 2) {
            unsigned char byte = 0;
            std::from_chars(r[3].data() + i, r[3].data() + i + 2, byte, 16);
            out.model += static_cast<char>(byte);
        }
    }
    return out;
}
