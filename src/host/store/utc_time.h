// UTC times as the store writes them and as an operator types them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// 2026-12-06, 2026-12-06T05, ...T05:30, ...T05:30:00 or ...T05:30:00.250,
// each with or without a trailing Z: milliseconds since 1970, or nothing
// for anything else (2026-13-45 and an empty text included).
std::optional<long long> parse_utc(std::string_view text);

// As the store writes it, so that texts compare as times: 2026-12-06T05:30:00.250Z.
std::string format_utc(long long ms);
