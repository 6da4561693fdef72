#include "platform/settings.h"

#include <cstdlib>
#include <filesystem>

std::string path_setting(const char* value, const char* fallback)
{
    if (value == nullptr || *value == '\0')
        return fallback;
    std::error_code ec;
    auto path = std::filesystem::absolute(value, ec);
    return ec ? std::string(value) : path.string();
}

static const platform_settings loaded = {
    path_setting(std::getenv("CAMSCOUT_STORE"), "/var/lib/onvif_camscout/media_sources.db"),
    path_setting(std::getenv("CAMSCOUT_LOG"), ""),
    path_setting(std::getenv("CAMSCOUT_RUNDIR"), "/run"),
};

const platform_settings& settings()
{
    return loaded;
}
