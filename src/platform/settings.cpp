#include "platform/settings.h"

#include <cstdlib>
#include <filesystem>

static std::string setting(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return fallback;
    std::error_code ec;
    auto path = std::filesystem::absolute(value, ec);
    return ec ? std::string(value) : path.string();
}

static const platform_settings loaded = {
    setting("CAMSCOUT_STORE", "/var/lib/onvif_camscout/media_sources.db"),
    setting("CAMSCOUT_LOG", ""),
    setting("CAMSCOUT_RUNDIR", "/run"),
};

const platform_settings& settings()
{
    return loaded;
}
