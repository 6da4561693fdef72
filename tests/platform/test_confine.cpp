// The discovery process's confinement against the kernel itself: what it
// reports and logs as applied must be what holds, seen from inside and
// from outside; and the privileged side's removal of unresolved neighbours.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "host/net/neighbour_removal.h"
#include "host/process/child_wait.h"
#include "host/process/confine.h"
#include "run/text_field.h"

#ifdef __SANITIZE_ADDRESS__
static const bool sanitized = true;
#else
static const bool sanitized = false;
#endif

// Runs body in a child and returns what it wrote; hold, when given, keeps
// the child waiting until it has seen the child's pid.
static std::string in_child(const std::function<std::string()>& body,
                            const std::function<void(pid_t)>& hold = [](pid_t) {})
{
    int out[2], wait_for_parent[2];
    if (pipe(out) != 0 || pipe(wait_for_parent) != 0)
        return "no pipe";
    pid_t child = fork();
    if (child == 0) {
        close(wait_for_parent[1]);
        std::string report = body();
        (void)!write(out[1], report.data(), report.size());
        close(out[1]);
        char c;
        (void)!read(wait_for_parent[0], &c, 1);
        _exit(0);
    }
    close(out[1]);
    pollfd p{out[0], POLLIN, 0};
    char text[1024] = {};
    if (poll(&p, 1, 10000) == 1)
        (void)!read(out[0], text, sizeof text - 1);
    hold(child);
    close(wait_for_parent[1]);
    if (!wait_child(child, std::chrono::seconds(10)))
        stop_child(child);
    close(out[0]);
    close(wait_for_parent[0]);
    return text;
}

static std::string errno_of(int result)
{
    return result >= 0 ? "done" : errno == EACCES ? "EACCES" : errno == EPERM ? "EPERM" : std::strerror(errno);
}

// What a parser gone wrong would try, each with its errno.
static std::string attempts(const std::string& store)
{
    std::string out;
    auto t = [&](const char* what, int result) { out += std::string(what) + " " + errno_of(result) + ", "; };
    t("store", open(store.c_str(), O_RDONLY));
    t("create", open((store + ".new").c_str(), O_WRONLY | O_CREAT, 0600));
    t("truncate", truncate(store.c_str(), 0));
    t("tcp", socket(AF_INET6, SOCK_STREAM, 0));
    t("mptcp", socket(AF_INET, SOCK_STREAM, IPPROTO_MPTCP));
    t("unix", socket(AF_UNIX, SOCK_DGRAM, 0));
    t("packet", socket(AF_PACKET, SOCK_RAW, 0));
    t("kill", kill(getppid(), 0));
    pid_t forked = fork();
    if (forked == 0)
        _exit(0);
    t("fork", forked);
    t("arp", open("/proc/net/arp", O_RDONLY));
    return out;
}

// The process's ids, capabilities and filters, as /proc shows them.
static std::string status_of(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line, out;
    while (std::getline(in, line))
        for (const char* key : {"Uid:", "CapInh:", "CapPrm:", "CapEff:", "CapBnd:", "CapAmb:", "NoNewPrivs:", "Seccomp:"})
            if (line.rfind(key, 0) == 0) {
                std::replace(line.begin(), line.end(), '\t', ' ');
                out += line + "; ";
            }
    return out;
}

// Under CAMSCOUT_LANDLOCK_ABI=2 too (a second CTest entry), where seccomp
// must refuse what Landlock then cannot.
TEST(confine, the_discovery_process_holds_nothing_and_says_so)
{
    if (sanitized)
        GTEST_SKIP() << "a sanitized build keeps its files and calls";
    const char* store = std::getenv("CAMSCOUT_STORE");
    const char* log = std::getenv("CAMSCOUT_LOG");
    ASSERT_TRUE(store && log) << "run through CTest, which names the store and log";
    std::filesystem::create_directories(std::filesystem::path(store).parent_path());
    std::ofstream(store, std::ios::app).flush();
    std::remove(log);
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, 1);
    const char* limit = std::getenv("CAMSCOUT_LANDLOCK_ABI");
    if (limit != nullptr && abi > std::atol(limit))
        abi = std::atol(limit);
    std::string outside;
    std::string inside = in_child(
        [&] {
            confinement c = confine_discovery_process();
            return "applied " + std::to_string(c.applied) + " abi " + std::to_string(c.abi) + ": " + attempts(store);
        },
        [&](pid_t child) { outside = status_of(child); });

    EXPECT_EQ(inside, "applied " + std::to_string(abi > 0 ? 15 : 14) + " abi " + std::to_string(std::max(abi, 0L)) +
                          ": store " + (abi > 0 ? "EACCES" : "done") +
                          ", create EPERM, truncate EPERM, tcp EPERM, mptcp EPERM, unix EPERM, packet EPERM, kill EPERM,"
                          " fork EPERM, arp done, ");
    bool root = geteuid() == 0;
    std::string uid = root ? "65534" : std::to_string(getuid()), none = "0000000000000000";
    std::string own = status_of(getpid()), bounding = root ? "CapBnd: " + none : own.substr(own.find("CapBnd:"), 24);
    EXPECT_EQ(outside, "Uid: " + uid + " " + uid + " " + uid + " " + uid + "; CapInh: " + none + "; CapPrm: " + none +
                           "; CapEff: " + none + "; " + bounding + "; CapAmb: " + none + "; NoNewPrivs: 1; Seccomp: 2; ");
    std::string rules = abi >= 6 ? ", TCP, signals and abstract sockets" : abi >= 4 ? ", TCP" : "";
    std::string line = "[confine] the discovery process is confined: uid " + uid + ", no capability, no new privileges, " +
                       (abi > 0 ? "Landlock ABI " + std::to_string(abi) + " (files" + rules + "), " : "") +
                       "a system-call filter" + (abi > 0 ? "" : "; not applied: Landlock: ");
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    EXPECT_NE(text.str().find(line), std::string::npos) << text.str() << "\nnot found: " << line;
}

// In a network namespace of its own: a device not of the run is refused,
// an incomplete or failed entry goes, a resolved one and none are left.
TEST(neighbour_removal, only_unresolved_entries_on_the_runs_devices_go)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a network namespace";
    std::string report = in_child([] {
        if (unshare(CLONE_NEWNET) != 0 ||
            std::system("ip link add v0 type veth peer name v1 && ip link set v0 up && ip link set v1 up &&"
                        " ip addr add 10.9.0.1/24 dev v0 && ip neigh add 10.9.0.5 dev v0 nud incomplete &&"
                        " ip neigh add 10.9.0.6 dev v0 lladdr 02:00:00:00:00:06 nud reachable &&"
                        " ip neigh add 10.9.0.7 dev v0 nud failed && ip neigh add 10.9.0.5 dev v1 nud failed") != 0)
            return std::string("no namespace");
        std::vector<NIC_INFO> lan(1);
        copy_text(lan[0].dev, "v0");
        std::string out;
        for (auto [address, device] : {std::pair{"10.9.0.5", "v1"}, {"10.9.0.5", "v0"}, {"10.9.0.6", "v0"},
                                       {"10.9.0.7", "v0"}, {"10.9.0.8", "v0"}}) {
            neighbour_removal r{inet_addr(address), {}};
            copy_text(r.device, device);
            int n = remove_unresolved_neighbour(r, lan);
            out += std::to_string(n) + (n < 0 ? std::string(" ") + std::strerror(errno) : "") + ", ";
        }
        FILE* left = popen("ip neigh show | cut -d' ' -f1,3 | sort | tr '\\n' ' '", "r");
        char text[256] = {};
        (void)!fread(text, 1, sizeof text - 1, left);
        pclose(left);
        return out + text;
    });
    EXPECT_EQ(report, "-1 Operation not permitted, 1, 0, 1, 0, 10.9.0.5 v1 10.9.0.6 v0 ");
}
