// The socket calls of the discovery worker and the store's socket pair,
// passed straight to the kernel, the worker's socket made ahead aside.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <netinet/in.h>
#include <unistd.h>

#include <utility>

#include "platform/os_calls.h"

static int presized = -1, handed_out = -1;

void os_presize_udp_socket(int queue_bytes)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &queue_bytes, sizeof queue_bytes) != 0) {
        close(fd);
        fd = -1;
    }
    presized = fd;
}

int os_socket(int domain, int type, int protocol)
{
    if (domain == AF_INET && type == SOCK_DGRAM && protocol == 0 && presized >= 0)
        return handed_out = std::exchange(presized, -1);
    return socket(domain, type, protocol);
}

int os_fcntl(int fd, int cmd, int arg)
{
    return fcntl(fd, cmd, arg);
}

int os_setsockopt(int fd, int level, int name, const void* value, socklen_t len)
{
    if (fd == handed_out && level == SOL_SOCKET && name == SO_RCVBUFFORCE)
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
    return recvfrom(fd, buf, len, flags, from, from_len);
}

ssize_t os_recvmsg(int fd, msghdr* message, int flags)
{
    return recvmsg(fd, message, flags);
}

int os_close(int fd)
{
    if (fd == handed_out)
        handed_out = -1;
    return close(fd);
}

int os_poll(pollfd* fds, nfds_t count, int timeout_ms)
{
    return poll(fds, count, timeout_ms);
}

int os_ioctl(int fd, unsigned long request, void* arg)
{
    return ioctl(fd, request, arg);
}

int os_socketpair(int domain, int type, int protocol, int (&fds)[2])
{
    return socketpair(domain, type, protocol, fds);
}
