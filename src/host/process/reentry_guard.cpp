// The re-entry guard: an exclusive lock on <rundir>/<name>.lock, taken
// without blocking. The descriptor is never closed, so the lock passes
// through daemon() and fork() and is held until the run's last process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "host/log/logger.h"
#include "platform/platform.h"
#include "host/settings/settings.h"

int reentried(const char* invocation_name)
{
    std::string base = std::filesystem::path(invocation_name ? invocation_name : "").filename();
    if (base.empty())
        base = "onvif_camscout";
    std::error_code ec;
    std::filesystem::create_directories(settings().run_dir, ec);
    std::string path = settings().run_dir + "/" + base + ".lock";
    // Read-only, so that whoever made the file (root by hand, the service's
    // dynamic user) the other can still lock it.
    int fd = open(path.c_str(), O_RDONLY | O_CREAT, 0644);
    if (fd < 0) {
        log_Warning("[reentry] cannot open %s, running unguarded", path.c_str());
        return 0;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;  // keep fd open: it holds the lock
    close(fd);
    return 1;
}
