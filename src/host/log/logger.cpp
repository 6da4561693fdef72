// The platform logger for a generic Linux host: every call goes to syslog
// and, when CAMSCOUT_LOG names a file, is appended to it as one line.
#include "host/log/logger.h"

#include <errno.h>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/platform.h"
#include "host/log/text_escape.h"
#include "host/log/utc_time.h"
#include "host/settings/settings.h"

static int log_file_error = 0;  // why CAMSCOUT_LOG could not be opened
static int log_fd = -1;
static void (*relay)(const char* text) = nullptr;  // where lines go instead of log_fd

static int open_log_file()
{
    const std::string& path = settings().log_path;
    return path.empty() ? -1 : open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

// Opened once, with the connection to syslog, by whichever thread logs
// first or before the process loses the right to open them; O_APPEND with
// one write per line keeps the two threads' lines whole.
void log_open_now()
{
    static std::once_flag opened;
    std::call_once(opened, [] {
        openlog(program_invocation_short_name, LOG_PID | LOG_NDELAY, LOG_DAEMON);
        log_fd = open_log_file();
        log_file_error = log_fd < 0 && !settings().log_path.empty() ? errno : 0;
    });
}

void log_relay_to(void (*to)(const char* text))
{
    relay = to;
    log_open_now();
    if (log_fd >= 0 && to != nullptr)
        close(std::exchange(log_fd, -1));
    else if (log_fd < 0 && to == nullptr)
        log_fd = open_log_file();
}

// A file's times never go back for lines written one after another, as
// the store process writes a run's own and relayed lines; two threads
// logging at once may still cross by a moment. A line is written whole,
// its rest again after a signal or a short write (a pipe, say): once the
// file cannot grow (a full disk, a size limit) lines are lost, never the run.
void log_write_relayed(int64_t at_ms, int64_t pid, std::string_view text)
{
    static std::atomic<int64_t> last_ms{0};
    at_ms = std::max(at_ms, last_ms.load());
    last_ms = at_ms;
    std::string line = format_utc(at_ms) + " [" + std::to_string(pid) + "] " + escape_text(text) + "\n";
    std::string_view rest = line;
    log_open_now();
    for (int fd = log_fd; fd >= 0 && !rest.empty();) {
        ssize_t n = write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        rest.remove_prefix(static_cast<size_t>(n));
    }
}

static void put_line(int priority, const char* text)
{
    syslog(priority, "%s", escape_text(text).c_str());
    if (relay)
        relay(text);
    else
        log_write_relayed(utc_now_ms(), getpid(), text);
}

static void put_formatted(int priority, const char* format, va_list args)
{
    char text[8192];
    vsnprintf(text, sizeof text, format, args);
    log_open_now();  // syslog's connection too, before the first line
    // What the settings did not take is said once, before the first line.
    static std::once_flag told;
    std::call_once(told, [] {
        if (!settings().wrong.empty())
            put_line(LOG_WARNING, settings().wrong.c_str());
        if (log_fd < 0 && log_file_error != 0)
            put_line(LOG_WARNING, ("[log] cannot write to CAMSCOUT_LOG " + settings().log_path + ": " +
                                   std::strerror(log_file_error) + "; the lines go to syslog only").c_str());
    });
    put_line(priority, text);
}

void log_Debug(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    put_formatted(LOG_DEBUG, format, args);
    va_end(args);
}

void log_Warning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    put_formatted(LOG_WARNING, format, args);
    va_end(args);
}
