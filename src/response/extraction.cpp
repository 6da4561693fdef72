#include "response/response.h"

#include <algorithm>
#include <cstring>

#include "run/text_field.h"

static const char discovery_namespace[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";

int get_ns_prefix(const char* message, char (&prefix)[256])
{
    if (message == nullptr)
        return -1;
    // Letter case ignored as contains_nocase ignores it.
    const char* name = strcasestr(message, discovery_namespace);
    if (name == nullptr)
        return -1;
    const char* equals = name;
    while (equals > message && *equals != '=')
        --equals;
    // The walks stop at the start of the message: without an "=" or a ":"
    // before it there is no prefix to take.
    if (*equals != '=' || equals == message)
        return -1;
    const char* colon = equals - 1;
    while (colon > message && *colon != ':')
        --colon;
    if (*colon != ':')
        return -1;
    std::size_t length = static_cast<std::size_t>(equals - colon - 1);
    if (length > 127)  // what a 128-byte area holds
        return -1;
    copy_text(prefix, std::string_view(colon + 1, length));
    return 0;
}

bool get_tag_value(const char* message, const std::string& tag, std::string& value)
{
    std::string start_pattern = "<" + tag;
    const char* p1 = std::strstr(message, start_pattern.c_str());
    if (p1 == nullptr)
        return false;
    const char* close = std::strchr(p1, '>');
    if (close == nullptr)
        return false;
    std::string end_pattern = "</" + tag + ">";
    const char* p2 = std::strstr(message, end_pattern.c_str());
    if (p2 == nullptr)
        return false;
    // The value starts after the whole start tag, however many attributes
    // it carries: a long namespace declaration must not hide an element.
    const char* begin = close + 1;
    value = p2 < begin ? std::string(begin) : std::string(begin, p2);
    return true;
}

std::vector<std::string> split_scopes(std::string_view scopes)
{
    std::vector<std::string> tokens;
    std::size_t pos = 0;
    while ((pos = scopes.find_first_not_of(' ', pos)) != std::string_view::npos) {
        std::size_t end = std::min(scopes.find(' ', pos), scopes.size());
        tokens.emplace_back(scopes.substr(pos, end - pos));
        pos = end;
    }
    return tokens;
}
