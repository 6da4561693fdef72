#include <gtest/gtest.h>

#include "platform/logger.h"

TEST(escape_log_text, keeps_one_call_on_one_line)
{
    struct { std::string in, out; } cases[] = {
        {"plain text 100% ~", "plain text 100% ~"},
        {"a\\b", "a\\\\b"},
        {"line\r\nnext", "line\\r\\nnext"},
        {std::string("\x01\x1f\x7f\x00", 4), "\\x01\\x1f\\x7f\\x00"},
        {"caf\xc3\xa9 \x80\xff", "caf\xc3\xa9 \x80\xff"},
        {"\t\x1b[2J", "\\x09\\x1b[2J"},
    };
    for (auto& c : cases)
        EXPECT_EQ(escape_log_text(c.in), c.out);
}
