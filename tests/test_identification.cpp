#include <gtest/gtest.h>

#include "catalogue/model_table.h"
#include "messages.h"
#include "platform/platform.h"
#include "response/identification.h"
#include "test_support.h"

static std::string hw(const std::string& name)
{
    return scope_root + "hardware/" + name;
}

static std::string model(const std::string& name)
{
    return scope_root + "model/" + name;
}

static const std::string profile_t = scope_root + "Profile/T";
static const std::string profile_s = scope_root + "Profile/Streaming";

static long long row_id(const char* name)
{
    for (const model_row& row : model_table)
        if (std::string(row.model_name) == name)
            return row.catalogue_id;
    ADD_FAILURE() << "no row " << name;
    return 0;
}

static int row_brand(const char* name)
{
    for (const model_row& row : model_table)
        if (std::string(row.model_name) == name)
            return row.record_brand;
    return 0;
}

struct identification_case {
    std::string scopes;
    long long model_id;
    int brand_id;
    std::string model;
    std::vector<std::string> log;
};

class identify_device_table : public ::testing::Test {
protected:
    void SetUp() override
    {
        init_model_table();
        reset_process_state();
    }
};

TEST_F(identify_device_table, follows_profiles_hardware_model_scopes_and_the_table)
{
    const std::string fixed = "ONVIF Cameras (Fixed Settings)";
    const std::string vorn = "[onvif camscout] Find VORN IPC";
    const identification_case cases[] = {
        {"", make_long_long(44, 6), 44, fixed, {}},
        {"   ", make_long_long(44, 6), 44, fixed, {}},
        {profile_t, make_long_long(44, 23), 44, "ONVIF ProfileT Cameras", {}},
        {profile_s, make_long_long(44, 11), 44, "ONVIF ProfileS Cameras", {}},
        {profile_t + " " + profile_s, make_long_long(44, 11), 44, "ONVIF ProfileS Cameras", {}},
        {profile_s + " " + hw("XYZ%20Cam"), make_long_long(44, 11), 44, "XYZ Cam", {}},
        {hw("bosch%20cam"), make_long_long(44, 10), 44, "bosch cam", {"[onvif camscout] Find bosch"}},
        {hw("BOSCH-VIGI-C340I"), make_long_long(44, 10), 44, "BOSCH-VIGI-C340I", {"[onvif camscout] Find bosch"}},
        {hw("VIGI-C340I"), row_id("VIGI-C340I"), row_brand("VIGI-C340I"), "VIGI-C340I",
         {"[onvif camscout] Find VIGI-C340I"}},
        {hw("vigi-c340-w"), make_long_long(139, 32), 139, "vigi-c340-w", {"[onvif camscout] Find VIGI-C340-W"}},
        {hw("Mx-VD2A-2-IR-VA"), make_long_long(15, 86), 15, "Mx-VD2A-2-IR-VA", {"[onvif camscout] Find Mx-VD2A-2-IR-VA"}},
        {hw("Mx-VD2A-2-IR"), make_long_long(15, 84), 15, "Mx-VD2A-2-IR", {"[onvif camscout] Find Mx-VD2A-2-IR"}},
        {hw("Lumidock(ch3)"), make_long_long(9, 50), 44, "Lumidock(ch3)", {"[onvif camscout] Find Lumidock(ch3)"}},
        {hw("Sparrowcamera"), make_long_long(9, 52), 44, "Sparrowcamera", {"[onvif camscout] Find Sparrowcamera"}},
        {hw("XC100X"), make_long_long(139, 19), 139, "XC100X", {"[onvif camscout] Find C100"}},
        {hw("VIGI%2DC340I"), make_long_long(44, 6), 44, "VIGI-C340I", {}},
        {hw("AB%254a"), make_long_long(44, 6), 44, "ABJ", {}},
        {hw("VRNC-73K"), make_long_long(53, 604), 53, "VRNC-73K", {vorn}},
        {hw("vrnc-73k"), make_long_long(44, 6), 53, "vrnc-73k", {vorn}},
        {hw("VRNC-73JW"), make_long_long(53, 603), 53, "VRNC-73JW", {vorn}},
        {hw("VRNC%2D73K"), make_long_long(44, 6), 53, "VRNC-73K", {vorn}},
        {profile_t + " " + hw("VRNC-bosch"), make_long_long(44, 23), 53, "VRNC-bosch", {vorn}},
        {hw("XYZ") + " " + model("MS-C5375-FPD"), row_id("MS-C5375-FPD"), 264, "MS-C5375-FPD",
         {"[onvif camscout] Find MS-C5375-FPD"}},
        {model("MS-C5375-FPD") + " " + hw("XYZ"), make_long_long(44, 6), 44, "XYZ", {}},
        {model("ABC123"), make_long_long(44, 6), 44, fixed, {}},
        {model("ms-c5375-fpd"), make_long_long(44, 6), 44, fixed, {}},
        {model("C1PA08501"), make_long_long(298, 1), 298, "C1PA08501", {"[onvif camscout] Find C1PA08501"}},
        {hw(""), make_long_long(44, 6), 44, "", {}},
        {"x" + hw("ABC"), make_long_long(44, 6), 44, "/ABC", {}},
        {hw(std::string(80, 'Z')), make_long_long(44, 6), 44, std::string(63, 'Z'), {}},
        {hw("%"), make_long_long(44, 6), 44, "", {}},
        {hw("A%4"), make_long_long(44, 6), 44, "A\x04", {}},
        {hw("A%zz"), make_long_long(44, 6), 44, "A", {}},
        {hw("one") + " " + hw("two"), make_long_long(44, 6), 44, "two", {}},
    };
    for (const identification_case& c : cases) {
        fake::reset();
        TMediaSourceDevInfo info{};
        identify_device(info, c.scopes.c_str());
        EXPECT_EQ(info.model_id, c.model_id) << c.scopes;
        EXPECT_EQ(info.brand_id, c.brand_id) << c.scopes;
        EXPECT_EQ(std::string(info.model), c.model) << c.scopes;
        EXPECT_EQ(fake::state.log, c.log) << c.scopes;
    }
}

TEST_F(identify_device_table, no_scopes_gives_the_fixed_settings_default_with_a_message)
{
    TMediaSourceDevInfo info{};
    identify_device(info, nullptr);
    EXPECT_EQ(info.model_id, make_long_long(44, 6));
    EXPECT_EQ(info.brand_id, 44);
    EXPECT_STREQ(info.model, "ONVIF Cameras (Fixed Settings)");
    EXPECT_EQ(fake::state.log, std::vector<std::string>{
        "[onvif camscout] can't find Camera Scopes, default model: ONVIF Cameras (Fixed Settings)"});
}

TEST(percent_decode, decodes_again_from_the_start_after_each_replacement)
{
    struct { std::string in, out; } cases[] = {
        {"a%20b", "a b"}, {"%2541", "A"}, {"%252541", "A"}, {"%", std::string(1, '\0')},
        {"%4", "\x04"}, {"% 4x", std::string("\x04x")}, {"%-1", "\xff"}, {"100%", std::string("100\0", 4)},
    };
    for (auto& c : cases) {
        std::string text = c.in;
        percent_decode(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(contains_nocase, folds_only_ascii_letters)
{
    EXPECT_TRUE(contains_nocase("abc VIGI-c340", "vigi-C340"));
    EXPECT_TRUE(contains_nocase("anything", ""));
    EXPECT_TRUE(contains_nocase("", ""));
    EXPECT_FALSE(contains_nocase("", "a"));
    EXPECT_FALSE(contains_nocase("\xe9", "\xc9"));
    EXPECT_FALSE(contains_nocase("C10", "C100"));
}
