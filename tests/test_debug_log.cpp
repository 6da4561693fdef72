#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"
#include "run/debug_log.h"

TEST(debug_log, cuts_output_at_4095_characters)
{
    fake::reset();
    std::string long_text(5000, 'x');
    EXPECT_EQ(debug_log("%s", long_text.c_str()), 0);
    ASSERT_EQ(fake::state.log.size(), 1u);
    EXPECT_EQ(fake::state.log[0], std::string(4095, 'x'));
}

TEST(debug_log, passes_percent_in_formatted_text_through)
{
    fake::reset();
    debug_log("[onvif camscout] Find %s", "100%d %s %n");
    ASSERT_EQ(fake::state.log.size(), 1u);
    EXPECT_EQ(fake::state.log[0], "[onvif camscout] Find 100%d %s %n");
}
