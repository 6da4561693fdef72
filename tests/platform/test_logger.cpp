#include <gtest/gtest.h>

#include <regex>

#include "platform/logger.h"

TEST(escape_log_text, keeps_one_call_on_one_line)
{
    struct { std::string in, out; } cases[] = {
        {"plain text 100%", "plain text 100%"},
        {"a\\b", "a\\\\b"},
        {"line\r\nnext", "line\\r\\nnext"},
        {std::string("\x01\x1f\x7f\x00", 4), "\\x01\\x1f\\x7f\\x00"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"\t", "\\x09"},
    };
    for (auto& c : cases)
        EXPECT_EQ(escape_log_text(c.in), c.out);
}

TEST(utc_timestamp, has_milliseconds_and_a_trailing_z)
{
    std::regex form(R"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}Z)");
    EXPECT_TRUE(std::regex_match(utc_timestamp(), form)) << utc_timestamp();
}
