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

// A whole number up to 36500 (days: 100 years), or the fallback; what is
// wrong with a value that is neither unset nor that is added to wrong.
static int whole_setting(const char* name, int fallback, std::string& wrong)
{
    const char* value = std::getenv(name);
    char* end = nullptr;
    long number = value != nullptr ? std::strtol(value, &end, 10) : -1;
    if (value != nullptr && *value >= '0' && *value <= '9' && *end == '\0' && number <= 36500)
        return static_cast<int>(number);
    if (value != nullptr && *value != '\0')
        wrong += (wrong.empty() ? "[settings] " : "; ") + std::string(name) + "=" + value + " is not a whole number from 0 to 36500; " +
                std::to_string(fallback) + " is used";
    return fallback;
}

// Where the environment has no CAMSCOUT_CENTRAL, the service's settings
// file names it, so that the list tool and a run by hand reach the
// inventory the service reaches. Its lines are read as systemd reads them.
static std::string central_setting()
{
    if (const char* value = std::getenv("CAMSCOUT_CENTRAL"))
        return value;
    std::ifstream file("/etc/default/onvif_camscout");
    std::string central;
    for (std::string line; std::getline(file, line);)
        if (line.rfind("CAMSCOUT_CENTRAL=", 0) == 0) {
            central = line.substr(17);
            if (central.size() >= 2 && (central[0] == '"' || central[0] == '\'') && central.back() == central[0])
                central = central.substr(1, central.size() - 2);
        }
    return central;
}

platform_settings settings_from_environment()
{
    platform_settings s;
    s.store_path = path_setting(std::getenv("CAMSCOUT_STORE"), "/var/lib/onvif_camscout/media_sources.db");
    s.log_path = path_setting(std::getenv("CAMSCOUT_LOG"), "");
    s.run_dir = path_setting(std::getenv("CAMSCOUT_RUNDIR"), "/run/onvif_camscout");
    s.metrics_dir = path_setting(std::getenv("CAMSCOUT_METRICS_DIR"), "");
    s.central = central_setting();
    if (const char* recorder = std::getenv("CAMSCOUT_RECORDER"); recorder != nullptr && *recorder != '\0')
        s.recorder = recorder;
    else  // a recorder keeps its identity across reinstalls and renames
        std::ifstream("/etc/machine-id") >> s.recorder;
    s.retention_days = whole_setting("CAMSCOUT_RETENTION_DAYS", 90, s.wrong);
    s.landlock_abi = whole_setting("CAMSCOUT_LANDLOCK_ABI", 0, s.wrong);
    return s;
}

static const platform_settings loaded = settings_from_environment();

const platform_settings& settings()
{
    return loaded;
}
