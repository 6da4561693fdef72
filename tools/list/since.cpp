#include "since.h"

#include <map>
#include <string>

#include "host/log/utc_time.h"

std::optional<long long> parse_since(std::string_view text)
{
    if (!text.empty() && text.back() == 'Z')
        text.remove_suffix(1);
    // Each form cut short, by its length, is completed to the store's form,
    // which alone is checked whole.
    static const std::map<std::size_t, std::string> rest = {
        {10, "T00:00:00.000"}, {13, ":00:00.000"}, {16, ":00.000"}, {19, ".000"}, {21, "00"}, {22, "0"}, {23, ""}};
    auto completion = rest.find(text.size());
    if (completion == rest.end())
        return std::nullopt;
    return parse_utc(std::string(text) + completion->second + "Z");
}
