// Each process's confinement against the kernel itself: what it logs as
// applied must be what holds; and the privileged side's removal of
// unresolved neighbours.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <arpa/inet.h>
#include <sched.h>

#include <functional>

#include "../e2e/attack.h"
#include "host/net/neighbour_removal.h"
#include "host/process/confine.h"
#include "host/store/media_source_store.h"
#include "run/text_field.h"
#include "store_and_log.h"

// What body returns, run in a child process that ends within 10 s.
static std::string in_child(const std::function<std::string()>& body)
{
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);  // what the body starts must not hold the read open
    pid_t child = fork();
    if (child == 0) {
        alarm(10);
        std::string report = body();
        (void)!write(out[1], report.data(), report.size());
        _exit(0);
    }
    close(out[1]);
    char text[1024] = {};
    (void)!read(out[0], text, sizeof text - 1);  // the report, or nothing once the child has ended
    waitpid(child, nullptr, 0);
    close(out[0]);
    return text;
}

// Confined to its store's folder, the store process still keeps a large
// run: SQLite may open no file of its own anywhere else.
TEST(confine, each_process_holds_only_what_it_uses_and_says_so)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "a sanitized build keeps its files and calls";
#endif
    ASSERT_TRUE(start_afresh()) << "run through CTest, which names the store and log";
    std::ofstream(store_path).flush();
    long abi = std::max(0L, syscall(SYS_landlock_create_ruleset, nullptr, 0, 1));
    if (const char* limit = std::getenv("CAMSCOUT_LANDLOCK_ABI"))
        abi = std::min(abi, std::atol(limit));
    bool root = geteuid() == 0;
    std::string uid = root ? "65534" : std::to_string(getuid());
    std::string inside = in_child([&] {
        confine_discovery_process();
        return attack(-1);
    });
    std::string found = read_file(ATTACK_EXPECTED);
    int bounding = 0;  // as root it empties the set; otherwise it keeps what it was given
    for (int cap = 0; !root && cap <= CAP_LAST_CAP; ++cap)
        bounding += prctl(PR_CAPBSET_READ, cap) == 1;
    found.replace(found.find("bounding 0"), 10, "bounding " + std::to_string(bounding));
    if (abi == 0)
        found.replace(found.find("open-store EACCES"), 17, "open-store done");
    found.replace(found.find("write-log EBADF"), 15, "write-log done");  // a run's lines go to the store process
    EXPECT_EQ(inside, found);
    std::string rules = abi >= 6 ? ", TCP, signals and abstract sockets" : abi >= 4 ? ", TCP" : "";
    std::string line = "[confine] the discovery process is confined: uid " + uid + ", no capability, no new privileges, " +
                       (abi > 0 ? "Landlock ABI " + std::to_string(abi) + " (files" + rules + "), " : "") +
                       "a system-call filter" + (abi > 0 ? "\n" : "; not applied: Landlock: ");
    EXPECT_NE(read_file(log_path).find(line), std::string::npos) << read_file(log_path) << "\nnot found: " << line;
    if (abi == 0)
        return;

    std::string folder = std::filesystem::path(store_path).parent_path();
    std::string report = in_child([&] {
        confine_store_process({{"/usr", "/etc"}, {folder}, {}});
        std::vector<found_source> finds(3000, {{}, "2026-01-01T00:00:00.000Z", 1, "2026-01-01T00:00:00.000Z"});
        for (std::size_t i = 0; i < finds.size(); ++i)
            copy_text(finds[i].info.mac_addr, std::to_string(i).c_str());
        std::string why = store_open(store_path);
        why = why.empty() ? store_write(finds, std::chrono::steady_clock::now() + std::chrono::seconds(5)) : why;
        return why.empty() ? store_end_run(1).why : why;
    });
    EXPECT_EQ(report, "");
    std::string log = read_file(log_path);
    EXPECT_NE(log.find(", no new privileges, Landlock ABI ", log.find("the store process is confined")), std::string::npos) << log;
    EXPECT_EQ(rows(store_path, "SELECT count(*) FROM media_sources"), std::vector<std::string>{"3000"});
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
                        " ip addr add 10.9.0.1/24 brd + dev v0 && ip neigh add 10.9.0.5 dev v0 nud incomplete &&"
                        " ip neigh add 10.9.0.6 dev v0 lladdr 02:00:00:00:00:06 nud reachable &&"
                        " ip neigh add 10.9.0.7 dev v0 nud failed && ip neigh add 10.9.0.5 dev v1 nud failed") != 0)
            return std::string("no namespace");
        std::string out;
        int v0 = static_cast<int>(if_nametoindex("v0")), v1 = static_cast<int>(if_nametoindex("v1"));
        for (auto [address, device] : {std::pair{"10.9.0.5", v1}, {"10.9.0.5", v0}, {"10.9.0.6", v0}, {"10.9.0.7", v0},
                                       {"10.9.0.8", v0}})
            out += std::to_string(remove_unresolved_neighbour({inet_addr(address), device})) + " ";
        const char* left = "[ \"$(ip -4 neigh | cut -d' ' -f1,3 | sort | tr '\\n' ' ')\" = '10.9.0.5 v1 10.9.0.6 v0 ' ]";
        return out + (std::system(left) == 0 ? "" : "others gone");
    });
    EXPECT_EQ(report, "-1 1 0 1 0 ");
}
