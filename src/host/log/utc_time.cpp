#include "host/log/utc_time.h"

#include <time.h>

#include <charconv>
#include <chrono>

std::string format_utc(long long ms)
{
    time_t seconds = static_cast<time_t>(ms / 1000 - (ms % 1000 < 0));
    tm parts{};
    char text[64];
    std::size_t n = gmtime_r(&seconds, &parts) ? strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts) : 0;
    return std::string(text, n) + "." + std::to_string(1000 + ms - seconds * 1000LL).substr(1) + "Z";
}

long long utc_now_ms()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

std::optional<long long> parse_utc(std::string_view text)
{
    std::string whole(text);  // strptime reads up to a terminating zero
    tm parts{};
    const char* rest = strptime(whole.c_str(), "%Y-%m-%dT%H:%M:%S.", &parts);
    unsigned ms = 0;
    if (rest == nullptr || std::from_chars(rest, whole.c_str() + whole.size(), ms).ec != std::errc())
        return std::nullopt;
    // strptime takes what timegm then carries over (February 30th, a day
    // of 25 hours) and leaves what follows unread: only a text that comes
    // back as it was is the time it says.
    long long ms_since_1970 = timegm(&parts) * 1000LL + ms;
    if (format_utc(ms_since_1970) != text)
        return std::nullopt;
    return ms_since_1970;
}
