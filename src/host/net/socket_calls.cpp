// The socket calls of the discovery worker and the store's socket pair,
// passed straight to the kernel, the worker's socket made ahead aside.
#include <fcntl.h>
#include <linux/sock_diag.h>
#include <unistd.h>

#include <utility>

#include "host/net/receive_figures.h"
#include "platform/os_calls.h"

static int presized = -1;
static int worker = -1;  // the worker's UDP socket
static bool worker_presized = false;
static receive_figures figures{};

void os_presize_udp_socket(int queue_bytes)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &queue_bytes, sizeof queue_bytes) != 0) {
        close(fd);
        fd = -1;
    }
    presized = fd;
}

// The worker's is the one plain UDP socket; the ping's asks SOCK_CLOEXEC.
int os_socket(int domain, int type, int protocol)
{
    if (domain != AF_INET || type != SOCK_DGRAM || protocol != 0)
        return socket(domain, type, protocol);
    worker_presized = presized >= 0;
    worker = worker_presized ? std::exchange(presized, -1) : socket(domain, type, protocol);
    return worker;
}

int os_fcntl(int fd, int cmd, int arg)
{
    return fcntl(fd, cmd, arg);
}

int os_setsockopt(int fd, int level, int name, const void* value, socklen_t len)
{
    if (fd == worker && worker_presized && level == SOL_SOCKET && name == SO_RCVBUFFORCE)
        return 0;
    return setsockopt(fd, level, name, value, len);
}

ssize_t os_sendto(int fd, const void* buf, size_t len, int flags, const sockaddr* to,
                  socklen_t to_len)
{
    return sendto(fd, buf, len, flags, to, to_len);
}

int os_select(int nfds, fd_set* readfds, timeval* timeout)
{
    return select(nfds, readfds, nullptr, nullptr, timeout);
}

ssize_t os_recvfrom(int fd, void* buf, size_t len, int flags, sockaddr* from,
                    socklen_t* from_len)
{
    ssize_t n = recvfrom(fd, buf, len, flags, from, from_len);
    figures.datagrams += fd == worker && n >= 0;
    return n;
}

receive_figures run_receive_figures()
{
    return {ping_calls, figures.datagrams, figures.drops, figures.queue_bytes};
}

// What the kernel kept of the worker's socket is read before it goes.
int os_close(int fd)
{
    uint32_t meminfo[SK_MEMINFO_VARS] = {};
    socklen_t len = sizeof meminfo;
    if (fd == worker && getsockopt(fd, SOL_SOCKET, SO_MEMINFO, meminfo, &len) == 0 &&
        len > SK_MEMINFO_DROPS * sizeof meminfo[0]) {
        figures.drops = meminfo[SK_MEMINFO_DROPS];
        figures.queue_bytes = meminfo[SK_MEMINFO_RCVBUF];  // as SO_RCVBUF gives it
    }
    if (fd == worker)
        worker = -1;
    return close(fd);
}

int os_poll(pollfd* fds, nfds_t count, int timeout_ms)
{
    return poll(fds, count, timeout_ms);
}

int os_socketpair(int domain, int type, int protocol, int (&fds)[2])
{
    return socketpair(domain, type, protocol, fds);
}
