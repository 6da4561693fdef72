#include <gtest/gtest.h>

#include <string>

#include "response/extraction.h"

static const std::string ns = "http://schemas.xmlsoap.org/ws/2005/04/discovery";

TEST(get_ns_prefix, finds_the_prefix_bound_to_the_discovery_namespace)
{
    const struct {
        std::string message;
        int result;
        std::string prefix;
    } cases[] = {
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
    const struct {
        const char* message;
        const char* tag;
        bool found;
        const char* value;
    } cases[] = {
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
    };
    for (auto& c : cases) {
        std::string value = "before";
        EXPECT_EQ(get_tag_value(c.message, c.tag, value), c.found) << c.message;
        EXPECT_EQ(value, c.value) << c.message;
    }
}

TEST(get_tag_value, a_long_start_tag_or_tag_name_still_yields_the_element)
{
    std::string attrs(600, 'a');
    std::string message = "<d:ProbeMatches x=\"" + attrs + "\">v</d:ProbeMatches>";
    std::string value;
    EXPECT_TRUE(get_tag_value(message.c_str(), "d:ProbeMatches", value));
    EXPECT_EQ(value, "v");
    std::string tag(300, 't');
    message = "<" + tag + ">w</" + tag + ">";
    EXPECT_TRUE(get_tag_value(message.c_str(), tag.c_str(), value));
    EXPECT_EQ(value, "w");
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
