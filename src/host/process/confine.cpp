// Each step is taken by the means the kernel has and reported on its own,
// so a kernel or container without one still gets the others. Landlock has
// no C library wrappers; its three calls go through syscall().
#include "host/process/confine.h"

#include <cap-ng.h>
#include <fcntl.h>
#include <linux/landlock.h>
#include <linux/netlink.h>
#include <linux/sockios.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/log/logger.h"
#include "host/settings/settings.h"
#include "platform/os_calls.h"
#include "platform/platform.h"

// The kernel's ruleset attribute as it has grown; a kernel older than a
// member takes it as long as it is zero. Debian 12's headers stop at ABI 2.
struct ruleset_attr {
    uint64_t handled_access_fs;
    uint64_t handled_access_net;  // ABI 4: TCP bind and connect
    uint64_t scoped;              // ABI 6: abstract unix sockets and signals
};

// The file rights are the low bits: 13 at ABI 1 (execute to make a
// symlink), then refer (ABI 2), truncate (3) and ioctl on a device (5).
static uint64_t fs_rights(long abi)
{
    return (1ULL << (13 + (abi >= 2) + (abi >= 3) + (abi >= 5))) - 1;
}

// A ruleset of all this ABI handles (the scopes too, with scoped), with a
// rule for each path of reach that is there (what is not is not needed)
// and for TCP connects to each port, in force for good; -1 with errno where
// not. The paths' descriptors stay open: procfs makes a new inode for a
// dentry it has dropped, and the rule holds the inode.
static int landlock_restrict(long abi, bool scoped, const store_reach& reach)
{
    ruleset_attr attr{fs_rights(abi), abi >= 4 ? 3u : 0u, scoped && abi >= 6 ? 3u : 0u};
    int ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    bool ok = ruleset >= 0;
    const uint64_t file_rights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                                 LANDLOCK_ACCESS_FS_READ_FILE | 3ULL << 14;  // and truncate, ioctl on a device
    auto beneath = [&](const std::string& path, uint64_t rights) {
        int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
        struct stat st{};
        if (ok && fd >= 0 && fstat(fd, &st) == 0) {
            landlock_path_beneath_attr rule{rights & fs_rights(abi) & (S_ISDIR(st.st_mode) ? ~0ULL : file_rights), fd};
            ok = syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
        }
    };
    for (const std::string& path : reach.readable)
        beneath(path, LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR);
    for (const std::string& path : reach.writable)
        beneath(path, ~0ULL);
    for (int port : abi >= 4 ? reach.tcp_ports : std::vector<int>{}) {
        uint64_t rule[] = {1ULL << 1, static_cast<uint64_t>(port)};  // Landlock's port rule (ABI 4): connect
        ok = ok && syscall(SYS_landlock_add_rule, ruleset, 2 /* a net port */, rule, 0) == 0;
    }
    ok = ok && syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    if (ruleset >= 0)
        close(ruleset);  // which leaves errno as it is
    return ok ? 0 : -1;
}

// Every capability but, with keep_net_admin, CAP_NET_ADMIN where the
// process has it (under the unit the ambient one, as root by hand root's);
// net_admin says whether it did. Without it, as root outside the unit it
// becomes nobody and nogroup (Debian's 65534); under the unit it is the
// dynamic user already. The bounding set goes where the process may change it.
static int drop_capabilities(bool keep_net_admin, bool& net_admin)
{
    capng_get_caps_process();
    net_admin = keep_net_admin && capng_have_capability(CAPNG_PERMITTED, CAP_NET_ADMIN);
    bool bounding = capng_have_capability(CAPNG_EFFECTIVE, CAP_SETPCAP);
    capng_clear(CAPNG_SELECT_ALL);
    if (net_admin)
        capng_update(CAPNG_ADD, capng_type_t(CAPNG_EFFECTIVE | CAPNG_PERMITTED | CAPNG_BOUNDING_SET), CAP_NET_ADMIN);
    if (!keep_net_admin && geteuid() == 0)
        return capng_change_id(65534, 65534, capng_flags_t(CAPNG_DROP_SUPP_GRP | CAPNG_CLEAR_BOUNDING));
    return capng_apply(capng_select_t(CAPNG_SELECT_CAPS | CAPNG_SELECT_AMBIENT | (bounding ? CAPNG_SELECT_BOUNDS : 0)));
}

// What the worker, its ping, its lookups and the logger call, and no more:
// no new socket but UDP and route netlink ones, files only read, threads
// but no processes, signals only to itself. This holds too where Landlock
// is older than TCP rules, truncation and scopes, or missing.
static const char* const plain_calls[] = {
    "read", "write", "close", "fstat", "newfstatat", "statx", "lseek", "mmap", "munmap", "mprotect", "mremap",
    "madvise", "brk", "futex", "set_robust_list", "rseq", "rt_sigaction", "rt_sigprocmask", "rt_sigreturn",
    "sigaltstack", "restart_syscall", "getpid", "getppid", "gettid", "getuid", "geteuid", "getgid", "getegid",
    "capget", "getrandom", "clock_gettime", "clock_nanosleep", "nanosleep", "gettimeofday", "exit", "exit_group",
    "sendto", "recvfrom", "recvmsg", "select", "pselect6", "poll", "ppoll", "bind", "getsockname", "getsockopt",
    "setsockopt", "fcntl"};

static int filter_calls()
{
    scmp_filter_ctx f = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (f == nullptr) {
        errno = ENOMEM;
        return -1;
    }
    int r = 0;
    auto check = [&](int result) { r = result < 0 ? result : r; };
    for (const char* name : plain_calls)
        if (int call = seccomp_syscall_resolve_name(name); call != __NR_SCMP_ERROR)
            check(seccomp_rule_add(f, SCMP_ACT_ALLOW, call, 0));
    auto allow = [&](int call, scmp_arg_cmp a, scmp_arg_cmp b = {}, scmp_arg_cmp c = {}) {
        check(seccomp_rule_add(f, SCMP_ACT_ALLOW, call, c.op ? 3 : b.op ? 2 : 1, a, b, c));
    };
    auto eq = [](unsigned arg, scmp_datum_t value) { return scmp_arg_cmp{arg, SCMP_CMP_EQ, value, 0}; };
    auto masked = [](unsigned arg, scmp_datum_t mask, scmp_datum_t value) {
        return scmp_arg_cmp{arg, SCMP_CMP_MASKED_EQ, mask, value};
    };
    // The socket's type is matched less SOCK_CLOEXEC and SOCK_NONBLOCK.
    allow(SCMP_SYS(socket), eq(0, AF_INET), masked(1, 0xf, SOCK_DGRAM), eq(2, 0));
    allow(SCMP_SYS(socket), eq(0, AF_NETLINK), masked(1, 0xf, SOCK_RAW), eq(2, NETLINK_ROUTE));
    allow(SCMP_SYS(openat), masked(2, O_ACCMODE | O_CREAT | O_TRUNC, O_RDONLY));
    allow(SCMP_SYS(ioctl), eq(1, SIOCGIFINDEX));  // the C library's if_nametoindex
    allow(SCMP_SYS(clone), masked(0, CLONE_THREAD, CLONE_THREAD));
    allow(SCMP_SYS(kill), eq(0, static_cast<scmp_datum_t>(getpid())));
    allow(SCMP_SYS(tgkill), eq(0, static_cast<scmp_datum_t>(getpid())));
    allow(SCMP_SYS(prctl), eq(0, PR_SET_NAME));
    allow(SCMP_SYS(prctl), eq(0, PR_CAPBSET_READ));
    // The C library makes threads with clone3 and falls back to clone on ENOSYS.
    check(seccomp_rule_add(f, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0));
    if (r == 0)
        check(seccomp_load(f));
    seccomp_release(f);
    return r == 0 ? 0 : (errno = -r, -1);
}

// A sanitizer opens its report and reads the program's symbols when it
// reports, wherever that happens; such a build keeps its files and calls.
#ifdef __SANITIZE_ADDRESS__
static const bool sanitized = true;
#else
static const bool sanitized = false;
#endif

// The steps both processes take; the discovery process alone keeps no
// CAP_NET_ADMIN, takes Landlock's scopes and filters its system calls.
static void confine(const char* process, bool discovery, const store_reach& reach)
{
    std::string on, off;  // the steps that held, those that did not and why
    auto step = [&](bool done, const std::string& name, const char* why = nullptr) {
        std::string& text = done ? on : off;
        text += (text.empty() ? "" : ", ") + name;
        if (!done)
            text += std::string(": ") + (why ? why : sanitized ? "built with the sanitizers" : std::strerror(errno));
        return done;
    };
    bool net_admin = false;
    bool dropped = drop_capabilities(!discovery, net_admin) == 0;  // before net_admin is read below
    step(dropped, net_admin ? "no capability but CAP_NET_ADMIN" : "no capability");
    step(prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0, "no new privileges");
    long abi = sanitized ? 0 : syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (settings().landlock_abi > 0)
        abi = std::min<long>(abi, settings().landlock_abi);
    std::string rules = discovery && abi >= 6 ? ", TCP, signals and abstract sockets" : abi >= 4 ? ", TCP" : "";
    bool landlock = step(abi > 0 && landlock_restrict(abi, discovery, reach) == 0,
                         abi > 0 ? "Landlock ABI " + std::to_string(abi) + " (files" + rules + ")" : "Landlock");
    if (discovery)
        step(!sanitized && filter_calls() == 0, "a system-call filter");
    else if (landlock && abi < 4)
        step(false, "TCP to the central inventory alone", "Landlock before ABI 4 has no network rules");
    (off.empty() ? log_Debug : log_Warning)("[confine] the %s is confined: uid %d, %s%s%s", process,
                                            static_cast<int>(geteuid()), on.empty() ? "nothing more" : on.c_str(),
                                            off.empty() ? "" : "; not applied: ", off.c_str());
}

void confine_discovery_process()
{
    log_open_now();
    // The 16 MiB the worker asks for, while the process still may force it.
    os_presize_udp_socket(16 << 20);
    confine("discovery process", true, {{"/proc/self/net"}, {}, {}});
}

void confine_store_process(const store_reach& reach)
{
    confine("store process", false, reach);
}
