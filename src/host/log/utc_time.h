// UTC times as the store and the log write them, 2026-12-06T05:30:00.250Z,
// so that their texts compare as the times do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Milliseconds since 1970 as that text.
std::string format_utc(long long ms);

// The current time in milliseconds since 1970.
long long utc_now_ms();

// That text, exactly as format_utc writes it, as milliseconds since 1970;
// nothing for any other text, a day or hour out of range included.
std::optional<long long> parse_utc(std::string_view text);
