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
    // The prefix lies between the last ":" and the last "=" before the name;
    // an "=" that starts the message leaves no room for a ":".
    std::string_view before(message, static_cast<std::size_t>(name - message));
    std::size_t equals = before.rfind('=');
    if (equals == std::string_view::npos || equals == 0)
        return -1;
    std::size_t colon = before.rfind(':', equals - 1);
    if (colon == std::string_view::npos || equals - colon - 1 > 127)  // what a 128-byte area holds
        return -1;
    copy_text(prefix, before.substr(colon + 1, equals - colon - 1));
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
