// The media-source library on the discovery side: msas_init_onvif starts
// the store process and confines the discovery process, each find goes to
// the store process as one message, and msas_uninit_onvif waits for its end.
#include "host/store/store_process.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "host/central/central_inventory.h"
#include "host/process/child_wait.h"
#include "host/process/confine.h"
#include "host/settings/settings.h"
#include "host/store/media_source_store.h"
#include "host/store/store_message.h"
#include "host/log/utc_time.h"
#include "platform/os_calls.h"
#include "platform/platform.h"
#include "run/run_sequence.h"
#include "run/text_field.h"

static int store_socket = -1;  // the discovery process's end of the pair, or -1
static pid_t store_pid = -1;   // the store process until it is reaped, or -1
static int64_t run_started_ms;  // when msas_init_onvif began this run

// The store process only queues what it reads, so a find it has not taken
// within this means it is stuck or gone; the finds after it are logged.
static const int send_limit_seconds = 2;
// The writer's own limit from the end of the run, and 2 s for the exit.
static const auto end_limit = store_writer_end_limit + std::chrono::seconds(2);
// The run, then its stop; a discovery process still sending past this is
// taken as stuck, and the store process writes what it has and ends.
static const auto read_limit = std::chrono::seconds(run_seconds + 30);
// How far a find's time may stray from the run's span before the store
// process's own clock is taken instead: a clock stepped during the run
// (at boot, say) loses no find, and a forged time moves nothing.
static const int64_t clock_slack_ms = 10000;

const char* found_message_refusal(const found_message& message, long size, int64_t run_pid,
                                  int64_t run_started_ms)
{
    if (size != static_cast<long>(sizeof message))
        return "not the size of a found media source";
    if (message.kind != found_message_kind)
        return "not a found media source";
    if (message.unused != 0)
        return "padding not zero";
    if (message.run_pid != run_pid || message.run_started_ms != run_started_ms)
        return "not of this run";
    return nullptr;
}

static int64_t now_ms()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

// A sequenced packet of 0 bytes and the end of the pair both read as 0;
// with the sender's credentials asked for, only a packet carries them.
static ssize_t receive(int fd, found_message& message, bool& ended)
{
    iovec part{&message, sizeof message};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t n = os_recvmsg(fd, &header, MSG_TRUNC | MSG_DONTWAIT);
    ended = n == 0 && header.msg_controllen == 0;
    return n;
}

// False once the read limit has passed or the pair fails.
static bool wait_readable(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{fd, POLLIN, 0};
        int n = left.count() > 0 ? os_poll(&ready, 1, static_cast<int>(left.count())) : 0;
        if (n > 0)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            log_Debug("[msas] the discovery process still sends after %lld s; the store process writes what it has",
                      static_cast<long long>(read_limit.count()));
        else
            log_Debug("[msas] the store process stops reading the discovery process: %s", std::strerror(errno));
        return false;
    }
}

void store_process_serve(int fd, int64_t run_pid, int64_t run_started_ms)
{
    auto deadline = std::chrono::steady_clock::now() + read_limit;
    int on = 1;
    if (os_setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) != 0)
        log_Debug("[msas] the store process takes a 0-byte message as the end of the run: %s", std::strerror(errno));
    store_writer_begin();
    while (wait_readable(fd, deadline)) {
        found_message message{};
        bool ended = false;
        ssize_t n = receive(fd, message, ended);
        if (ended)
            break;  // the discovery process closed its end or ended
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0) {
            log_Debug("[msas] the store process stops reading the discovery process: %s", std::strerror(errno));
            break;
        }
        if (const char* why = found_message_refusal(message, n, run_pid, run_started_ms)) {
            log_Debug("[msas] refused a message of %zd bytes from the discovery process: %s", n, why);
            continue;
        }
        int64_t now = now_ms(), at = message.found_at_ms;
        if (at < run_started_ms - clock_slack_ms || at > now + clock_slack_ms)
            at = now;
        store_writer_put({message.info, format_utc(at), run_pid, format_utc(run_started_ms)});
    }
    store_writer_end();
}

static int no_store_process(int err)
{
    log_Debug("[msas] cannot start the store process, nothing will be stored in %s: %s",
              settings().store_path.c_str(), std::strerror(err));
    return -1;
}

static int start_store_process()
{
    int ends[2];
    if (os_socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return no_store_process(errno);
    pid_t run_pid = getpid();
    pid_t pid = os_fork();
    if (pid == 0) {
        os_close(ends[0]);
        store_process_serve(ends[1], run_pid, run_started_ms);
        os_exit(0);
    }
    int err = errno;
    os_close(ends[1]);
    if (pid < 0) {
        os_close(ends[0]);
        return no_store_process(err);
    }
    store_socket = ends[0];
    store_pid = pid;
    timeval limit{send_limit_seconds, 0};
    if (os_setsockopt(store_socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0)
        log_Debug("[msas] a stuck store process may hold up the run: %s", std::strerror(errno));
    return 0;
}

int msas_init_onvif()
{
    if (store_pid > 0)
        return 0;
    run_started_ms = now_ms();
    int result = start_store_process();
    // After the fork, so that the store process keeps its access.
    confine_discovery_process();
    return result;
}

static void log_not_stored(const TMediaSourceDevInfo& info, const char* why)
{
    log_Debug("[msas] %s (%s) not stored: %s", std::string(field_text(info.ip_addr)).c_str(),
              std::string(field_text(info.mac_addr)).c_str(), why);
}

int msas_store_found_media_source_onvif(TMediaSourceDevInfo* info)
{
    if (info == nullptr)
        return -1;
    if (store_socket < 0) {
        log_not_stored(*info, "the store is not open");
        return -1;
    }
    found_message message{};
    message.kind = found_message_kind;
    message.found_at_ms = now_ms();
    message.run_pid = getpid();
    message.run_started_ms = run_started_ms;
    message.info = *info;
    if (os_sendto(store_socket, &message, sizeof message, MSG_NOSIGNAL, nullptr, 0) == sizeof message)
        return 0;
    log_not_stored(*info, ("the store process does not take it: " + std::string(std::strerror(errno))).c_str());
    os_close(store_socket);  // stuck or gone: the finds after this one are only logged
    store_socket = -1;
    return -1;
}

int msas_uninit_onvif()
{
    if (store_pid <= 0)
        return 0;
    if (store_socket >= 0)
        os_close(store_socket);  // the store process's sign to write what it has and end
    store_socket = -1;
    pid_t pid = store_pid;
    store_pid = -1;
    if (wait_child(pid, end_limit))
        return 0;
    log_Debug("[msas] the store process did not end within %lld s and was stopped",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(end_limit).count()));
    stop_child(pid);
    return -1;
}
