#include "host/store/utc_time.h"

#include <cstdio>

static bool digits(std::string_view t, std::size_t at, std::size_t n, int& value)
{
    if (at + n > t.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        value = value * 10 + (t[i] - '0');
    }
    return true;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
static long long days_from_civil(long long y, long long m, long long d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400, year_of_era = y - era * 400;
    long long day_of_year = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year - 719468;
}

static int days_in_month(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// The fraction after the seconds: one to three digits, as milliseconds.
static bool fraction(std::string_view t, int& ms)
{
    if (t.size() < 2 || t.size() > 4 || t[0] != '.' || !digits(t, 1, t.size() - 1, ms))
        return false;
    for (std::size_t n = t.size() - 1; n < 3; ++n)
        ms *= 10;
    return true;
}

std::optional<long long> parse_utc(std::string_view t)
{
    if (!t.empty() && t.back() == 'Z')
        t.remove_suffix(1);
    int year = 0, month = 0, day = 0, ms = 0, clock[3] = {0, 0, 0};
    if (!digits(t, 0, 4, year) || t.substr(4, 1) != "-" || !digits(t, 5, 2, month) || t.substr(7, 1) != "-" ||
        !digits(t, 8, 2, day))
        return std::nullopt;
    std::size_t at = 10;
    for (int i = 0; i < 3 && at < t.size() && t[at] == (i ? ':' : 'T'); ++i, at += 3)
        if (!digits(t, at + 1, 2, clock[i]))
            return std::nullopt;
    if (at < t.size() && (at != 19 || !fraction(t.substr(at), ms)))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || clock[0] > 23 || clock[1] > 59 ||
        clock[2] > 59)
        return std::nullopt;
    long long seconds = days_from_civil(year, month, day) * 86400 + clock[0] * 3600 + clock[1] * 60 + clock[2];
    return seconds * 1000 + ms;
}

std::string format_utc(long long ms)
{
    long long days = (ms >= 0 ? ms : ms - 86399999) / 86400000, in_day = ms - days * 86400000;
    // The civil date of a day number, the inverse of days_from_civil.
    long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097, day_of_era = z - era * 146097;
    long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    long long mp = (5 * day_of_year + 2) / 153, d = day_of_year - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9, y = year_of_era + era * 400 + (m <= 2);
    char text[96];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", y, m, d, in_day / 3600000,
                  in_day / 60000 % 60, in_day / 1000 % 60, in_day % 1000);
    return text;
}
