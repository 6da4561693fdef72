// The time that --since names, as an operator types it.
#pragma once

#include <optional>
#include <string_view>

// 2026-12-06, 2026-12-06T05, ...T05:30, ...T05:30:00 or ...T05:30:00.250,
// each with or without a trailing Z, in UTC: milliseconds since 1970, or
// nothing for anything else (2026-13-45 and an empty text included).
std::optional<long long> parse_since(std::string_view text);
