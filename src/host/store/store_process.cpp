// The media-source library on the discovery side, and the store process.
#include "host/store/store_process.h"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/log/utc_time.h"
#include "host/central/central_connection.h"
#include "host/log/logger.h"
#include "host/process/confine.h"
#include "host/settings/settings.h"
#include "host/store/media_source_store.h"
#include "host/store/store_message.h"
#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/text_field.h"

using std::chrono::steady_clock;

static std::atomic<int> store_socket{-1};  // the discovery process's end of the pair, or -1
static pid_t store_pid = -1;    // the store process until the run's end, or -1
static int64_t run_started_ms;  // when msas_init_onvif began this run
static int64_t store_calls;     // msas_store_found_media_source_onvif's, this run
static receive_figures before;  // the process's figures as this run began

// The store process only writes what it reads, a wake-up at a time, so a
// find it has not taken within this means it is stuck or gone.
static const int send_limit_seconds = 2;
// The store process's life is the run (60 s), the worker's stop (at most
// 7 s), the run's end work and room to spare. What it wrote is committed and
// forwarding is idempotent, so an end at the alarm loses nothing written.
static const unsigned store_process_seconds = 120;
static const auto read_limit = std::chrono::seconds(95);
// The end work: the last write, moving the finds in, expiry and
// forwarding's budget, with some of libpq's waits that no budget bounds.
static const int answer_limit_seconds = 20;
// Far more than a run finds (5000 cameras answering both Probes): what a
// flooding or compromised discovery process sends past it is counted, not kept.
static const size_t finds_per_run = 20000;
// The discovery process's log lines that the store process writes in a run,
// far more than a run of 5000 cameras logs; past it they reach syslog only.
static const size_t lines_per_run = 200000, line_bytes_per_run = 32 << 20;
// Refused messages logged a run, one line each; the rest are counted.
static const size_t refusals_logged = 100;
// How long a wake-up's write waits for another writer before its finds
// wait for the next wake-up, and how long the last write waits.
static const auto busy_wait = std::chrono::milliseconds(250);
static const auto last_busy_wait = std::chrono::seconds(3);
// How far a find's time may stray from the run's span before the store
// process's own clock is taken instead: a clock stepped during the run
// (at boot, say) loses no find, and a forged time moves nothing.
static const int64_t clock_slack_ms = 10000;

// Room for any message, a log line's the longest.
union message_buffer {
    found_message m;
    char bytes[message_header_size + log_text_max];
};

// What the store process holds through one run.
struct serving {
    int fd;  // its end of the pair
    int64_t run_pid, run_started_ms;
    std::vector<found_source> unwritten{};  // read, not yet committed
    size_t taken = 0, refused = 0, malformed = 0;  // finds of this run; past finds_per_run; by refusal()
    run_figures figures{};                // as the end message gives them
    size_t asked = 0, removed = 0, failed = 0;  // neighbour entries to remove; removed; not, by an error
    size_t lines = 0, line_bytes = 0;     // log lines of the discovery process, and their bytes
    size_t lines_dropped = 0, refusals = 0;  // past the bounds; messages refused
    bool ended = false;                   // the end message came; its end work then done
    bool opened = false, reported = false;  // the store; its trouble has a line already
};

// Why the store process refuses a message of size bytes, or null.
static const char* refusal(const serving& s, const found_message& m, long size)
{
    bool log = m.kind == log_message_kind;
    if (log ? size < static_cast<long>(message_header_size) : size != static_cast<long>(sizeof m))
        return "not the size of a message";
    if (!log && m.kind != found_message_kind && m.kind != end_message_kind && m.kind != neighbour_message_kind)
        return "not a message the discovery process sends";
    if (m.unused != 0)
        return "padding not zero";
    if (m.run_pid != s.run_pid || m.run_started_ms != s.run_started_ms)
        return "not of this run";
    if (s.ended && !log)
        return "after the run's end";
    const TMediaSourceDevInfo& info = m.info;
    auto ends_within = [](const auto& field) { return strnlen(field, sizeof field) < sizeof field; };
    bool past = m.kind == found_message_kind && (!ends_within(info.model) || !ends_within(info.ip_addr) ||
                                                 !ends_within(info.mac_addr) || info.port < 0 || info.port > 65535);
    return past ? "a field past its size" : nullptr;
}

// The removal acts only on an entry that never resolved on a LAN device,
// so a discovery process gone wrong gains nothing by asking; what it asks
// past a run's worth is not done.
static void remove_neighbour(serving& s, const neighbour_removal& request)
{
    if (s.asked++ == finds_per_run)
        log_Warning("[msas] more than %zu neighbour entries asked to be removed; the rest stay", finds_per_run);
    if (s.asked > finds_per_run)
        return;
    int result = remove_unresolved_neighbour(request);
    s.removed += result > 0;
    if (result < 0 && s.failed++ == 0)
        log_Warning("[msas] cannot remove the unresolved neighbour entry of %s on device %d: %s",
                    inet_ntoa(in_addr{request.address}), request.device, std::strerror(errno));
}

static int64_t found_time(const serving& s, const found_message& m)
{
    int64_t now = utc_now_ms(), at = m.found_at_ms;
    return at < s.run_started_ms - clock_slack_ms || at > now + clock_slack_ms ? now : at;
}

static void write_unwritten(serving& s, steady_clock::duration busy)
{
    const std::string& path = settings().store_path;
    std::string why = s.opened ? "" : store_open(path);
    s.opened = why.empty();
    if (why.empty() && !s.unwritten.empty())
        why = store_write(s.unwritten, steady_clock::now() + busy);
    if (why.empty() && s.reported)
        log_Debug("[msas] %s writable again", path.c_str());
    else if (!why.empty() && !s.reported && !s.opened)
        log_Warning("[msas] %s; retrying when there is something to store", why.c_str());
    else if (!why.empty() && !s.reported)
        log_Warning("[msas] cannot write to %s yet, retrying: %s", path.c_str(), why.c_str());
    s.reported = !why.empty();
    if (why.empty())
        s.unwritten.clear();
}

// Until a message waits, the pair ends or fails, or the deadline: false.
static bool wait_readable(int fd, steady_clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        int n = left.count() > 0 ? os_poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            log_Warning("[msas] the discovery process still runs after %lld s; the store process writes what it has",
                        static_cast<long long>(read_limit.count()));
        return n > 0;
    }
}

// Prometheus' text format, for node_exporter's textfile collector, which
// reads the folder at any moment: written aside, then renamed over.
static void write_metrics(const run_outcome& o, int64_t started_ms)
{
    std::string dir = settings().metrics_dir, path = dir + "/onvif_camscout.prom";
    std::error_code ec;
    auto store_bytes = std::filesystem::file_size(settings().store_path, ec);
    std::ofstream out(path + ".tmp");
    auto gauge = [&](const char* name, const char* help) {
        out << "# HELP onvif_camscout_" << name << " " << help << "\n# TYPE onvif_camscout_" << name << " gauge\n";
    };
    auto metric = [&](const char* name, const char* help, auto value) {
        gauge(name, help);
        out << "onvif_camscout_" << name << " " << value << "\n";
    };
    metric("run_timestamp_seconds", "When the last run started, since 1970.", started_ms / 1000);
    metric("run_duration_seconds", "How long the last run took.", o.seconds);
    gauge("run_cameras", "The last run's cameras: found, stored, no MAC address, refused.");
    for (auto [state, n] : {std::pair{"found", o.found}, {"stored", o.stored}, {"no_mac", o.no_mac}, {"refused", o.refused}})
        out << "onvif_camscout_run_cameras{state=\"" << state << "\"} " << n << "\n";
    metric("forwarded_rows", "The rows the last run forwarded to the central inventory.", o.forwarded);
    metric("store_bytes", "The local store's size.", ec ? 0 : store_bytes);
    metric("receive_drops", "The datagrams the kernel dropped in the last run, its queue full.", o.drops);
    out.close();
    if (out)
        std::filesystem::rename(path + ".tmp", path, ec);
    if (!out || ec)
        log_Warning("[msas] cannot write the metrics %s: %s", path.c_str(), out ? ec.message().c_str() : "not written");
}

// The run's outcome: a row in the store, which is then closed, the
// metrics, and the summary, the store process's last line before its answer.
static void report_outcome(const serving& s, const forward_result& end)
{
    // The discovery process's figures are its word: kept within what the
    // store process saw itself, never negative.
    const receive_figures& seen = s.figures.seen;
    auto sane = [](int64_t v) { return std::clamp<int64_t>(v, 0, INT32_MAX); };
    int64_t stored = static_cast<int64_t>(s.taken - s.unwritten.size()), found = std::max(sane(seen.pings), stored);
    run_outcome o{format_utc(s.run_started_ms), std::max<int64_t>(0, utc_now_ms() - s.run_started_ms) / 1000.0,
                  sane(seen.datagrams), sane(seen.drops), sane(seen.queue_bytes), found, stored,
                  found - std::clamp<int64_t>(s.figures.store_calls, 0, found),
                  static_cast<long long>(s.refused + s.malformed), end.forwarded,
                  !s.ended ? "the run's end never came"
                  : !s.opened ? "the store did not open"
                  : !s.unwritten.empty() ? std::to_string(s.unwritten.size()) + " finds not written"
                                         : end.why};
    std::string why = s.opened ? store_record_outcome(o) : "";
    if (!why.empty())
        log_Warning("[msas] cannot keep the run's outcome in %s: %s", settings().store_path.c_str(), why.c_str());
    store_close();  // its size as it stays
    if (!settings().metrics_dir.empty())
        write_metrics(o, s.run_started_ms);
    // A flood past the limit and forged messages call for different answers.
    std::string refused = o.refused ? " (" + std::to_string(s.refused) + " past the run's limit, " +
                                          std::to_string(s.malformed) + " malformed)" : "";
    (o.cut_short.empty() && o.refused == 0 && o.drops == 0 ? log_Debug : log_Warning)(
        "[msas] run summary: started=%s seconds=%.1f datagrams=%lld drops=%lld queue_bytes=%lld found=%lld"
        " stored=%lld no_mac=%lld refused=%lld%s forwarded=%lld cut_short=%s", o.started.c_str(), o.seconds,
        o.datagrams, o.drops, o.queue_bytes, o.found, o.stored, o.no_mac, o.refused, refused.c_str(), o.forwarded,
        o.cut_short.empty() ? "no" : o.cut_short.c_str());
}

// The run's end work, at the end message or else once the loop ends; the
// answer only for an end message.
static void end_of_run(serving& s)
{
    write_unwritten(s, last_busy_wait);
    if (!s.unwritten.empty())
        log_Warning("[msas] %zu found media sources not stored in %s", s.unwritten.size(),
                    settings().store_path.c_str());
    if (s.refused > 0)
        log_Warning("[msas] %zu found media sources refused: more than %zu in one run", s.refused, finds_per_run);
    if (s.removed > 0)
        log_Debug("[msas] %zu neighbour entries that never resolved removed", s.removed);
    forward_result end = s.opened && s.unwritten.empty() ? store_end_run(s.run_pid) : forward_result{};
    report_outcome(s, end);
    found_message written{written_message_kind, 0, 0, s.run_pid, s.run_started_ms, {}};
    if (s.ended)
        os_sendto(s.fd, &written, sizeof written, MSG_NOSIGNAL | MSG_DONTWAIT, nullptr, 0);
}

static void take(serving& s, const found_message& m, ssize_t n)
{
    if (const char* why = refusal(s, m, n)) {
        if (s.refusals++ < refusals_logged)
            log_Warning("[msas] refused a message of %zd bytes from the discovery process: %s", n, why);
        s.malformed += m.kind == found_message_kind;
        return;
    }
    if (m.kind == end_message_kind) {
        s.ended = true;
        s.figures = m.figures;
        return end_of_run(s);
    }
    if (m.kind == neighbour_message_kind)
        return remove_neighbour(s, m.neighbour);
    if (m.kind == log_message_kind) {
        std::string_view text(reinterpret_cast<const char*>(&m) + message_header_size, n - message_header_size);
        if (++s.lines <= lines_per_run && (s.line_bytes += text.size()) <= line_bytes_per_run)
            log_write_relayed(std::min<int64_t>(found_time(s, m), utc_now_ms()), s.run_pid, text);
        else
            ++s.lines_dropped;
        return;
    }
    if (s.taken == finds_per_run) {
        ++s.refused;
        return;
    }
    ++s.taken;
    s.unwritten.push_back({m.info, format_utc(found_time(s, m)), s.run_pid, format_utc(s.run_started_ms)});
}

// Takes every message waiting: false once the pair has ended (a message
// of 0 bytes) or failed.
static bool read_waiting(serving& s)
{
    for (;;) {
        message_buffer in{};
        ssize_t n = os_recvfrom(s.fd, &in, sizeof in, MSG_DONTWAIT, nullptr, nullptr);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n < 0)
            log_Warning("[msas] the store process stops reading the discovery process: %s", std::strerror(errno));
        if (n <= 0)
            return false;
        take(s, in.m, n);
    }
}

void store_process_serve(int fd, int64_t run_pid, int64_t run_started_ms)
{
    auto deadline = steady_clock::now() + read_limit;
    serving s{fd, run_pid, run_started_ms};
    write_unwritten(s, busy_wait);  // opens the store, or says why not once
    // After its answer the discovery process still logs its last lines;
    // the pair's close, at its end, ends this loop.
    while (wait_readable(fd, deadline) && read_waiting(s))
        if (!s.ended)
            write_unwritten(s, busy_wait);
    if (!s.ended)
        end_of_run(s);
    if (s.lines_dropped > 0)
        log_Warning("[msas] %zu lines of the discovery process reached syslog only: more than %zu lines or %zu bytes"
                    " in one run", s.lines_dropped, lines_per_run, line_bytes_per_run);
    if (s.refusals > refusals_logged)
        log_Warning("[msas] %zu more messages of the discovery process refused", s.refusals - refusals_logged);
}

// The discovery process's end closes the pair, which ends the loop once
// what it sent is written; its death's signal only wakes the loop for
// that, and the alarm ends the store process whatever holds it.
static void bound_store_process(pid_t run_pid)
{
    signal(SIGTERM, [](int) {});  // to wake, not end: poll returns EINTR all the same
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != run_pid)
        os_exit(0);
    alarm(store_process_seconds);
}

// Its store's folder, made first, and the metrics' to write; to read, what SQLite, libpq,
// TLS and name resolution read; TCP to the central inventory alone.
static store_reach reach_of_store_process()
{
    const platform_settings& s = settings();
    std::string folder = std::filesystem::path(s.store_path).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    store_reach reach{{"/etc", "/usr"}, {folder}, {}};
    // /etc/resolv.conf often links to a folder under /run of its manager's.
    reach.readable.push_back(std::filesystem::path(std::filesystem::canonical("/etc/resolv.conf", ec)).parent_path());
    if (!s.metrics_dir.empty())
        reach.writable.push_back(s.metrics_dir);
    if (!s.central.empty())
        central_reach(s.central, reach.readable, reach.tcp_ports);
    return reach;
}

static int start_store_process()
{
    auto not_started = [](int err) {
        log_Warning("[msas] cannot start the store process, nothing will be stored in %s: %s",
                    settings().store_path.c_str(), std::strerror(err));
        return -1;
    };
    int ends[2];
    if (os_socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return not_started(errno);
    pid_t run_pid = getpid(), pid = os_fork();
    if (pid == 0) {
        os_close(ends[0]);
        log_relay_to(nullptr);  // a second run in one process may have relayed the first's lines
        bound_store_process(run_pid);
        confine_store_process(reach_of_store_process());
        store_process_serve(ends[1], run_pid, run_started_ms);
        os_exit(0);
    }
    int err = errno;
    os_close(ends[1]);
    if (pid < 0) {
        os_close(ends[0]);
        return not_started(err);
    }
    store_socket = ends[0];
    store_pid = pid;
    timeval limit{send_limit_seconds, 0};
    if (os_setsockopt(store_socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
        log_Debug("[msas] a stuck store process may hold up the run: %s", std::strerror(errno));
    return 0;
}

// Sends a message of kind with size bytes after its header: a fixed size,
// or a log line's own. Past the send's time limit the store process is stuck
// or gone: nothing waits for it again, and what was to go is only logged.
static bool send_message(uint32_t kind, const void* body, std::size_t size)
{
    message_buffer out;  // only what is set below is sent
    out.m = {kind, 0, utc_now_ms(), getpid(), run_started_ms, {}};
    std::memcpy(out.bytes + message_header_size, body, size);
    std::size_t length = kind == log_message_kind ? message_header_size + size : sizeof out.m;
    int fd = store_socket;
    ssize_t sent = fd >= 0 ? os_sendto(fd, &out, length, MSG_NOSIGNAL, nullptr, 0) : -1;
    if (sent == static_cast<ssize_t>(length))
        return true;
    // Any thread that logs may get here; the socket is closed once.
    if (fd >= 0 && errno != EINTR && store_socket.compare_exchange_strong(fd, -1))
        os_close(fd);
    return false;
}

int msas_init_onvif()
{
    if (store_pid > 0)
        return 0;
    if (int fd = store_socket.exchange(-1); fd >= 0)
        os_close(fd);  // an earlier run's, kept for its last lines
    run_started_ms = utc_now_ms();
    store_calls = 0;
    before = run_receive_figures();
    int result = start_store_process();
    ask_neighbour_removal = [](const neighbour_removal& request) {
        send_message(neighbour_message_kind, &request, sizeof request);
    };
    if (result == 0)  // a line the store process does not take reaches syslog only
        log_relay_to([](const char* text) { send_message(log_message_kind, text, strnlen(text, log_text_max)); });
    // After the fork, so that the store process keeps its access.
    confine_discovery_process();
    return result;
}

int msas_store_found_media_source_onvif(TMediaSourceDevInfo* info)
{
    if (info == nullptr)
        return -1;
    ++store_calls;
    bool open = store_socket >= 0 && store_pid > 0;
    if (open && send_message(found_message_kind, info, sizeof *info))
        return 0;
    std::string why = open ? "the store process does not take it: " + std::string(std::strerror(errno))
                           : "the store is not open";
    log_Warning("[msas] %s (%s) not stored: %s", std::string(field_text(info->ip_addr)).c_str(),
                std::string(field_text(info->mac_addr)).c_str(), why.c_str());
    return -1;
}

// The answer, or false once answer_limit_seconds have passed.
static bool written_answer()
{
    pollfd ready{store_socket, POLLIN, 0};
    found_message answer{};
    return os_poll(&ready, 1, answer_limit_seconds * 1000) > 0 &&
           os_recvfrom(store_socket, &answer, sizeof answer, MSG_DONTWAIT, nullptr, nullptr) == sizeof answer &&
           answer.kind == written_message_kind;
}

int msas_uninit_onvif()
{
    if (store_pid <= 0)
        return 0;
    run_figures end{run_receive_figures(), store_calls};
    end.seen.pings -= before.pings;
    end.seen.datagrams -= before.datagrams;
    bool answered = send_message(end_message_kind, &end, sizeof end) && written_answer();
    store_pid = -1;
    if (!answered)
        log_Warning("[msas] the store process did not answer within %d s; what it wrote stays, the rest waits for a"
                    " later run", answer_limit_seconds);
    // The pair stays open for this process's last lines; its end closes it.
    return answered ? 0 : -1;
}
