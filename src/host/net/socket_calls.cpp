// The socket calls of the discovery worker and the store's socket pair,
// passed straight to the kernel.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/os_calls.h"

int os_socket(int domain, int type, int protocol)
{
    return socket(domain, type, protocol);
}

int os_fcntl(int fd, int cmd, int arg)
{
    return fcntl(fd, cmd, arg);
}

int os_setsockopt(int fd, int level, int name, const void* value, socklen_t len)
{
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
