#include "host/settings/settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

std::string path_setting(const char* value, const char* fallback)
{
    if (value == nullptr || *value == '\0')
        return fallback;
    std::error_code ec;
    auto path = std::filesystem::absolute(value, ec);
    return ec ? std::string(value) : path.string();
}

static std::string text_setting(const char* value, const std::string& fallback)
{
    return value != nullptr && *value != '\0' ? value : fallback;
}

// A whole number of days up to 100 years, or the fallback.
static int days_setting(const char* value, int fallback)
{
    char* end = nullptr;
    long days = value != nullptr ? std::strtol(value, &end, 10) : -1;
    bool whole = value != nullptr && *value >= '0' && *value <= '9' && *end == '\0';
    return whole && days <= 36500 ? static_cast<int>(days) : fallback;
}

// A recorder keeps its identity across reinstalls and renames.
static std::string machine_id()
{
    std::string id;
    std::ifstream("/etc/machine-id") >> id;
    return id;
}

static const platform_settings loaded = {
    path_setting(std::getenv("CAMSCOUT_STORE"), "/var/lib/onvif_camscout/media_sources.db"),
    path_setting(std::getenv("CAMSCOUT_LOG"), ""),
    path_setting(std::getenv("CAMSCOUT_RUNDIR"), "/run"),
    text_setting(std::getenv("CAMSCOUT_CENTRAL"), ""),
    text_setting(std::getenv("CAMSCOUT_RECORDER"), machine_id()),
    days_setting(std::getenv("CAMSCOUT_RETENTION_DAYS"), 90),
    days_setting(std::getenv("CAMSCOUT_LANDLOCK_ABI"), 0),
};

const platform_settings& settings()
{
    return loaded;
}
