// Message fields: extraction, the service port, identification.
#include <gtest/gtest.h>

#include "catalogue/model_table.h"
#include "fake_platform.h"
#include "messages.h"
#include "platform/platform.h"
#include "response/endpoint.h"
#include "response/extraction.h"
#include "response/identification.h"

static const std::string& ns = discovery_ns;

TEST(get_ns_prefix, finds_the_prefix_bound_to_the_discovery_namespace)
{
    const struct { std::string message; int result; std::string prefix; } cases[] = {
        {"<s:Envelope xmlns:d=\"" + ns + "\">", 0, "d"},
        {"<s:Envelope xmlns:wsdd=\"HTTP://SCHEMAS.XMLSOAP.ORG/WS/2005/04/DISCOVERY\">", 0, "wsdd"},
        {"<s:Envelope xmlns:=\"" + ns + "\">", 0, ""},
        {"<soap:Envelope xmlns=\"" + ns + "\">", 0, "Envelope xmlns"},
        {"<s:Envelope xmlns:d =\"" + ns + "\">", 0, "d "},
        {"<s:Envelope xmlns:d= \"" + ns + "\">", 0, "d"},
        {"<Envelope xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/other\">", -1, "untouched"},
        {ns, -1, "untouched"},                      // no "=" before it
        {"xmlns=\"" + ns, -1, "untouched"},         // no ":" before the "="
        {"=" + ns, -1, "untouched"},                // "=" at the very start
        {":" + std::string(127, 'p') + "=\"" + ns, 0, std::string(127, 'p')},
        {":" + std::string(128, 'p') + "=\"" + ns, -1, "untouched"},
    };
    for (auto& c : cases) {
        char prefix[256] = "untouched";
        EXPECT_EQ(get_ns_prefix(c.message.c_str(), prefix), c.result) << c.message;
        EXPECT_EQ(std::string(prefix), c.prefix) << c.message;
    }
    char prefix[256] = {};
    EXPECT_EQ(get_ns_prefix(nullptr, prefix), -1);
}

TEST(get_tag_value, yields_the_text_between_start_and_end_tag)
{
    const std::string tag(300, 't');
    const struct { std::string message, tag; bool found; const char* value; } cases[] = {
        {"<d:XAddrs>http://a/</d:XAddrs>", "d:XAddrs", true, "http://a/"},
        {"<d:XAddrs attr=\"1\">x y</d:XAddrs>", "d:XAddrs", true, "x y"},
        {"<d:Scopes></d:Scopes>", "d:Scopes", true, ""},
        {"<d:Scopes/>", "d:Scopes", false, "before"},
        {"<d:Scopes/><d:Scopes>a</d:Scopes>", "d:Scopes", true, "<d:Scopes>a"},
        {"</d:Scopes><d:Scopes>tail", "d:Scopes", true, "tail"},
        {"<d:Scopes> &amp;\n </d:Scopes>", "d:Scopes", true, " &amp;\n "},
        {"<d:ProbeMatches><d:ProbeMatch>x</d:ProbeMatch></d:ProbeMatches>", "d:ProbeMatch", true,
         "<d:ProbeMatch>x"},
        {"<d:Scopes", "d:Scopes", false, "before"},
        {"<d:Scopes>open", "d:Scopes", false, "before"},
        {"<a>b</>", "", true, "b"},
        {"<a>b", "", false, "before"},
        {"<D:Scopes>a</D:Scopes>", "d:Scopes", false, "before"},
        {"<d:ProbeMatches x=\"" + std::string(600, 'a') + "\">v</d:ProbeMatches>", "d:ProbeMatches", true, "v"},
        {"<" + tag + ">w</" + tag + ">", tag, true, "w"},  // no limit on the start tag or the name
    };
    for (auto& c : cases) {
        std::string value = "before";
        EXPECT_EQ(get_tag_value(c.message.c_str(), c.tag.c_str(), value), c.found) << c.message;
        EXPECT_EQ(value, c.value) << c.message;
    }
}

TEST(split_scopes, cuts_at_spaces_only)
{
    using tokens = std::vector<std::string>;
    EXPECT_EQ(split_scopes(""), tokens{});
    EXPECT_EQ(split_scopes("   "), tokens{});
    EXPECT_EQ(split_scopes("a  b"), (tokens{"a", "b"}));
    EXPECT_EQ(split_scopes(" a b "), (tokens{"a", "b"}));
    EXPECT_EQ(split_scopes("a\nb\tc d"), (tokens{"a\nb\tc", "d"}));
}

TEST(parse_service_port, takes_the_port_of_the_first_url)
{
    struct { const char* xaddrs; int port; } cases[] = {
        {"http://192.168.1.20/onvif/device_service", 80},
        {"http://192.168.1.20:8080/onvif/device_service", 8080},
        {"http://[fe80::1]:8899/onvif/device_service", 8899},
        {"http://[fe80::1]/onvif/device_service", 80},
        {"http://[fe80::1]:8000/onvif/device_service http://192.168.1.20:8000/onvif/device_service", 8000},
        {"http://192.168.1.20:8000/onvif/device_service http://[fe80::1]:8000/onvif/device_service", 80},
        {"http://192.168.1.20:0/onvif/device_service", 80},
        {"http://192.168.1.20:abc/onvif/device_service", 80},
        {"http://192.168.1.20:/onvif/device_service", 80},
        {"http://192.168.1.20:65616/onvif/device_service", 80},
        {"http://192.168.1.20:65537/onvif/device_service", 1},
        {"http://192.168.1.20:-1/onvif/device_service", 65535},
        {"http://192.168.1.20:8080", 8080},
        {"http://192.168.1.20:8080?x=1", 8080},
        {"http://192.168.1.20 http://10.0.0.1:554/x", 80},  // no path: the host part runs on to "http:"
        {"http://192.168.1.20:99999999999999999999999/", 65535},
        {"", 80},
        {"192.168.1.20:8081/onvif", 8081},
        {"garbage", 80},
        {nullptr, 80},  // no XAddrs element: the one case with a message
    };
    for (auto& c : cases) {
        fake::reset();
        TMediaSourceDevInfo info{};
        parse_service_port(info, c.xaddrs);
        EXPECT_EQ(info.port, c.port) << (c.xaddrs ? c.xaddrs : "null");
        EXPECT_EQ(fake::state.log, c.xaddrs ? std::vector<std::string>{}
                                            : std::vector<std::string>{"[onvif camscout] can't find Camera endpoint, use default port: 80"});
    }
}

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

TEST(identify_device, follows_profiles_hardware_model_scopes_and_the_table)
{
    init_model_table();
    const std::string fixed = "ONVIF Cameras (Fixed Settings)";
    const std::string vorn = "[onvif camscout] Find VORN IPC";
    const struct { std::string scopes; long long model_id; int brand_id; std::string model; std::vector<std::string> log; } cases[] = {
        {"", make_long_long(44, 6), 44, fixed, {}},
        {"   ", make_long_long(44, 6), 44, fixed, {}},
        {profile_t, make_long_long(44, 23), 44, "ONVIF ProfileT Cameras", {}},
        {profile_s, make_long_long(44, 11), 44, "ONVIF ProfileS Cameras", {}},
        {profile_t + " " + profile_s, make_long_long(44, 11), 44, "ONVIF ProfileS Cameras", {}},
        {profile_s + " " + hw("XYZ%20Cam"), make_long_long(44, 11), 44, "XYZ Cam", {}},
        {hw("bosch%20cam"), make_long_long(44, 10), 44, "bosch cam", {"[onvif camscout] Find bosch"}},
        {hw("BOSCH-VIGI-C340I"), make_long_long(44, 10), 44, "BOSCH-VIGI-C340I", {"[onvif camscout] Find bosch"}},
        {hw("VIGI-C340I"), make_long_long(139, 42), 139, "VIGI-C340I",
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
        {hw("XYZ") + " " + model("MS-C5375-FPD"), make_long_long(264, 6), 264, "MS-C5375-FPD",
         {"[onvif camscout] Find MS-C5375-FPD"}},
        {model("MS-C5375-FPD") + " " + hw("XYZ"), make_long_long(44, 6), 44, "XYZ", {}},
        {model("ABC123"), make_long_long(44, 6), 44, fixed, {}},
        {model("ms-c5375-fpd"), make_long_long(44, 6), 44, fixed, {}},
        {model("C1PA08501"), make_long_long(298, 1), 298, "C1PA08501", {"[onvif camscout] Find C1PA08501"}},
        {hw(""), make_long_long(44, 6), 44, "", {}},
        {std::string("x").append(hw("ABC")), make_long_long(44, 6), 44, "/ABC", {}},
        {hw(std::string(80, 'Z')), make_long_long(44, 6), 44, std::string(63, 'Z'), {}},
        {hw("%"), make_long_long(44, 6), 44, "", {}},
        {hw("A%4"), make_long_long(44, 6), 44, "A\x04", {}},
        {hw("A%zz"), make_long_long(44, 6), 44, "A", {}},
        {hw("one") + " " + hw("two"), make_long_long(44, 6), 44, "two", {}},
    };
    for (auto& c : cases) {
        fake::reset();
        TMediaSourceDevInfo info{};
        identify_device(info, c.scopes.c_str());
        EXPECT_EQ(info.model_id, c.model_id) << c.scopes;
        EXPECT_EQ(info.brand_id, c.brand_id) << c.scopes;
        EXPECT_EQ(std::string(info.model), c.model) << c.scopes;
        EXPECT_EQ(fake::state.log, c.log) << c.scopes;
    }
    fake::reset();
    TMediaSourceDevInfo info{};
    identify_device(info, nullptr);
    EXPECT_EQ(std::make_tuple(info.model_id, info.brand_id, std::string(info.model)),
              std::make_tuple(make_long_long(44, 6), 44, fixed));
    EXPECT_EQ(fake::state.log, std::vector<std::string>{
        "[onvif camscout] can't find Camera Scopes, default model: ONVIF Cameras (Fixed Settings)"});
}

// The look-up takes the first row whose name the text contains, so a row
// behind a row whose name it contains could never be found.
TEST(identify_device, no_model_name_contains_the_name_of_an_earlier_row)
{
    for (std::size_t i = 0; i < model_table_rows; ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_FALSE(contains_nocase(model_table[i].model_name, model_table[j].model_name))
                << model_table[i].model_name << " behind " << model_table[j].model_name;
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

TEST(contains_nocase, folds_only_the_letters_a_to_z)
{
    struct { const char *text, *pattern; bool found; } cases[] = {
        {"abc VIGI-c340", "vigi-C340", true}, {"a", "A", true}, {"Z", "z", true}, {"anything", "", true},
        {"", "", true}, {"", "a", false}, {"\xe9", "\xc9", false}, {"C10", "C100", false}, {"@", "`", false},
        {"[", "{", false}, {"xab", "AB", true},
    };
    for (auto& c : cases)
        EXPECT_EQ(contains_nocase(c.text, c.pattern), c.found) << c.text << " / " << c.pattern;
}
