// The settings of the generic Linux platform, read from the environment
// once when the process starts. Relative paths are made absolute then,
// because the run changes to / when it daemonises.
#pragma once

#include <string>

struct platform_settings {
    std::string store_path;  // CAMSCOUT_STORE
    std::string log_path;    // CAMSCOUT_LOG, empty: syslog only
    std::string run_dir;     // CAMSCOUT_RUNDIR
    std::string metrics_dir; // CAMSCOUT_METRICS_DIR, empty: no metrics file
    std::string central;     // CAMSCOUT_CENTRAL: libpq connection string; empty: no forwarding
    std::string recorder;    // CAMSCOUT_RECORDER, else /etc/machine-id: this recorder's identity
    int retention_days;      // CAMSCOUT_RETENTION_DAYS: rows of older runs go; 0: kept for ever
    int landlock_abi;        // CAMSCOUT_LANDLOCK_ABI, for tests: the newest ABI used; 0: the kernel's
    std::string wrong;       // a line naming each value not taken, or empty
};

const platform_settings& settings();
// The settings as the environment gives them now.
platform_settings settings_from_environment();

// The value made absolute, or the fallback when it is unset or empty.
std::string path_setting(const char* value, const char* fallback);
