// Landlock has no C library wrappers; its three calls go through syscall().
// The rights are asked for by the ABI the kernel reports (best effort), so
// one build restricts what each kernel can restrict.
#include "host/process/confine.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/log/logger.h"
#include "platform/platform.h"

// The kernel's ruleset attribute as it has grown; a kernel older than a
// member takes it as long as it is zero. Debian 12's headers stop at ABI 2.
struct ruleset_attr {
    uint64_t handled_access_fs;
    uint64_t handled_access_net;  // ABI 4
    uint64_t scoped;              // ABI 6
};

static uint64_t fs_rights(long abi)
{
    uint64_t rights = (1ULL << 13) - 1;  // ABI 1: execute to make a symlink
    if (abi >= 2)
        rights |= 1ULL << 13;  // refer: link or rename across folders
    if (abi >= 3)
        rights |= 1ULL << 14;  // truncate
    if (abi >= 5)
        rights |= 1ULL << 15;  // ioctl on a device
    return rights;
}

static const uint64_t net_tcp_bind_and_connect = 3;  // ABI 4
// Not signals: the discovery process stops a store process that outlives its wait.
static const uint64_t scope_abstract_unix_socket = 1;  // ABI 6

static confinement failed(const char* step)
{
    return {0, step, errno};
}

// The folder's descriptor stays open for the process's life: procfs makes
// a new inode for a dentry it has dropped, and the rule holds the inode.
static confinement restrict_files(long abi, const char* readable)
{
    ruleset_attr attr{fs_rights(abi), abi >= 4 ? net_tcp_bind_and_connect : 0,
                      abi >= 6 ? scope_abstract_unix_socket : 0};
    int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (ruleset < 0)
        return failed("landlock_create_ruleset");
    int folder = open(readable, O_PATH | O_CLOEXEC);
    landlock_path_beneath_attr rule{LANDLOCK_ACCESS_FS_READ_FILE, folder};
    if (folder < 0 || syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0 ||
        syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) {
        confinement off = failed(folder < 0 ? readable : "landlock_add_rule or landlock_restrict_self");
        close(ruleset);
        return off;
    }
    close(ruleset);
    return {static_cast<int>(abi), nullptr, 0};
}

// A sanitizer opens its report and reads the program's symbols when it
// reports, wherever that happens; such a build keeps its file access.
#ifdef __SANITIZE_ADDRESS__
static const bool sanitized = true;
#else
static const bool sanitized = false;
#endif

static confinement confine_process()
{
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return failed("PR_SET_NO_NEW_PRIVS");
    if (sanitized) {
        errno = EOPNOTSUPP;
        return failed("built with the sanitizers");
    }
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return failed("landlock_create_ruleset");
    return restrict_files(abi, "/proc/self/net");
}

confinement confine_discovery_process()
{
    log_open_now();
    confinement c = confine_process();
    if (c.abi > 0)
        log_Debug("[confine] the discovery process is confined: no new privileges, no file but its own"
                  " /proc/self/net to read (Landlock ABI %d)", c.abi);
    else
        log_Debug("[confine] the restriction is off, the discovery process may open files: %s: %s",
                  c.failed_step, std::strerror(c.error));
    return c;
}
