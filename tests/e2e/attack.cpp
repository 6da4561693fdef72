// Preloaded into the daemon: at the first find the discovery process sends
// the store process, it does what a compromised parser would, and writes a
// line for each attempt to CAMSCOUT_ATTACK_REPORT, opened before the run
// confines itself: what it holds, then what each attempt got.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/if_ether.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

using sendto_call = ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t);
static sendto_call real_sendto;
static int report = -1;

__attribute__((constructor)) static void prepare()
{
    real_sendto = reinterpret_cast<sendto_call>(dlsym(RTLD_NEXT, "sendto"));
    const char* path = std::getenv("CAMSCOUT_ATTACK_REPORT");
    if (path != nullptr && std::strncmp(program_invocation_short_name, "onvif_camscout", 14) == 0)
        report = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

static void say(const std::string& line)
{
    std::string text = line + "\n";
    (void)!write(report, text.data(), text.size());
}

static void attempt(const char* what, int result)
{
    say(std::string(what) + " " + (result >= 0 ? "done" : errno == EPERM ? "EPERM" : errno == EACCES ? "EACCES" : strerror(errno)));
}

// A socket of the kind, connected to the address: the first refusal counts.
template <typename Address>
static int connect_to(int domain, int type, int protocol, Address to)
{
    int fd = socket(domain, type, protocol);
    return fd < 0 ? fd : connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

static std::string getenv_or(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

static void attack()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    int bounding = 0;
    for (int cap = 0; cap <= CAP_LAST_CAP; ++cap)
        bounding += prctl(PR_CAPBSET_READ, cap) == 1;
    syscall(SYS_capget, &header, data);
    say("capabilities effective " + std::to_string(data[0].effective | data[1].effective) + " permitted " +
        std::to_string(data[0].permitted | data[1].permitted) + " bounding " + std::to_string(bounding) +
        (getuid() == 0 ? " uid 0" : " uid not 0"));

    sockaddr_in v4{AF_INET, htons(5432), {htonl(INADDR_LOOPBACK)}, {}};
    sockaddr_in6 v6{AF_INET6, htons(5432), 0, in6addr_loopback, 0};
    attempt("tcp-ipv4", connect_to(AF_INET, SOCK_STREAM, 0, v4));
    attempt("tcp-ipv6", connect_to(AF_INET6, SOCK_STREAM, 0, v6));
    attempt("mptcp", connect_to(AF_INET, SOCK_STREAM, IPPROTO_MPTCP, v4));
    sockaddr_un path{AF_UNIX, "/run/systemd/private"}, abstract{AF_UNIX, "\0camscout-attack"};
    attempt("unix-path", connect_to(AF_UNIX, SOCK_STREAM, 0, path));
    attempt("unix-abstract", connect_to(AF_UNIX, SOCK_STREAM, 0, abstract));
    attempt("packet", socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL)));
    ifreq mtu{};
    std::strncpy(mtu.ifr_name, getenv_or("CAMSCOUT_ATTACK_DEVICE", "lan0").c_str(), IFNAMSIZ - 1);
    mtu.ifr_mtu = 1280;
    int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    attempt("mtu", udp < 0 ? udp : ioctl(udp, SIOCSIFMTU, &mtu));
    int victim = std::atoi(getenv_or("CAMSCOUT_ATTACK_VICTIM", "0").c_str());
    attempt("kill", kill(victim > 0 ? victim : 1, victim > 0 ? SIGTERM : 0));
    std::string store = getenv_or("CAMSCOUT_STORE", "/nonexistent"), log = getenv_or("CAMSCOUT_LOG", "/nonexistent");
    attempt("open-store", open(store.c_str(), O_RDONLY));
    attempt("create-file", open((store + ".attack").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    attempt("truncate-log-path", truncate(log.c_str(), 0));
    struct stat log_stat{}, fd_stat{};
    int log_fd = -1;
    for (int fd = 0; fd < 256 && stat(log.c_str(), &log_stat) == 0; ++fd)
        if (fd != report && fstat(fd, &fd_stat) == 0 && fd_stat.st_ino == log_stat.st_ino && fd_stat.st_dev == log_stat.st_dev)
            log_fd = fd;
    attempt("truncate-log", log_fd < 0 ? (errno = EBADF, -1) : ftruncate(log_fd, 0));
    attempt("write-log", log_fd < 0 ? (errno = EBADF, -1) : static_cast<int>(write(log_fd, "forged\n", 7)));
}

extern "C" ssize_t sendto(int fd, const void* buf, size_t len, int flags, const sockaddr* to, socklen_t to_len)
{
    static bool done = false;
    int type = 0;
    socklen_t type_len = sizeof type;
    if (!done && report >= 0 && getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_len) == 0 && type == SOCK_SEQPACKET) {
        done = true;
        attack();
    }
    return real_sendto(fd, buf, len, flags, to, to_len);
}
