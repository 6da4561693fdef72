#include "response/response.h"

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
    std::string_view text(message);
    std::size_t close = text.find('>', text.find("<" + tag));  // npos when either is missing
    std::size_t end = text.find("</" + tag + ">");
    if (close == std::string_view::npos || end == std::string_view::npos)
        return false;
    // The value starts after the whole start tag, however many attributes
    // it carries: a long namespace declaration must not hide an element. An
    // end tag before it leaves the value running to the end of the text.
    std::size_t begin = close + 1;
    value = text.substr(begin, end < begin ? std::string_view::npos : end - begin);
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
