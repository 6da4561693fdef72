// What a compromised parser would try from inside the confined discovery
// process, a line each: what it holds, then what each attempt got; shared by
// e2e_attack's preloaded library and the platform test, attack_expected.txt.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/if_ether.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

static std::string outcome(const char* what, long result)
{
    return std::string(what) + " " + (result >= 0 ? "done" : strerrorname_np(errno)) + "\n";
}

template <typename Address>
static int connect_to(int domain, int protocol, Address to)
{
    int fd = socket(domain, SOCK_STREAM, protocol);
    return fd < 0 ? fd : connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// The log is found among the open descriptors, report aside.
static std::string attack(int report)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    int bounding = 0;
    for (int cap = 0; cap <= CAP_LAST_CAP; ++cap)
        bounding += prctl(PR_CAPBSET_READ, cap) == 1;
    unsigned held = syscall(SYS_capget, &header, caps) == 0 ? 0 : ~0u;
    for (auto& set : caps)
        held |= set.effective | set.permitted | set.inheritable;
    std::string out = "capabilities " + std::to_string(held) + " bounding " + std::to_string(bounding) +
                      (getuid() == 0 ? " uid 0\n" : " uid not 0\n");
    sockaddr_in v4{AF_INET, htons(5432), {htonl(INADDR_LOOPBACK)}, {}};
    out += outcome("tcp-ipv4", connect_to(AF_INET, 0, v4));
    out += outcome("tcp-ipv6", connect_to(AF_INET6, 0, sockaddr_in6{AF_INET6, htons(5432), 0, in6addr_loopback, 0}));
    out += outcome("mptcp", connect_to(AF_INET, IPPROTO_MPTCP, v4));
    out += outcome("unix-path", connect_to(AF_UNIX, 0, sockaddr_un{AF_UNIX, "/run/systemd/private"}));
    out += outcome("unix-abstract", connect_to(AF_UNIX, 0, sockaddr_un{AF_UNIX, "\0camscout-attack"}));
    out += outcome("packet", socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL)));
    ifreq mtu{{"lan0"}, {}};
    mtu.ifr_mtu = 1280;
    int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    out += outcome("mtu", udp < 0 ? udp : ioctl(udp, SIOCSIFMTU, &mtu));
    const char* victim = std::getenv("CAMSCOUT_ATTACK_VICTIM");
    out += outcome("kill", victim ? kill(std::atoi(victim), SIGTERM) : kill(1, 0));
    pid_t forked = fork();
    if (forked == 0)
        _exit(0);
    out += outcome("fork", forked);
    std::string store = std::getenv("CAMSCOUT_STORE"), log = std::getenv("CAMSCOUT_LOG");
    out += outcome("open-store", open(store.c_str(), O_RDONLY));
    out += outcome("create-file", open((store + ".attack").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    out += outcome("truncate-log-path", truncate(log.c_str(), 0));
    struct stat log_stat{}, fd_stat{};
    int log_fd = -1;
    for (int fd = 0; fd < 256 && stat(log.c_str(), &log_stat) == 0; ++fd)
        if (fd != report && fstat(fd, &fd_stat) == 0 && fd_stat.st_ino == log_stat.st_ino && fd_stat.st_dev == log_stat.st_dev)
            log_fd = fd;
    out += outcome("truncate-log", ftruncate(log_fd, 0));
    return out + outcome("write-log", write(log_fd, "forged\n", 7));
}
