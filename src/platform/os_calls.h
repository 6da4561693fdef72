// The operating-system calls of the system's own code, one to one with the
// calls they stand for. They sit behind this seam so that the logic around
// them is tested with doubles, without root and without a network.
#pragma once

#include <pthread.h>

#include <cstdio>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/types.h>

int os_socket(int domain, int type, int protocol);
int os_fcntl(int fd, int cmd, int arg);
int os_setsockopt(int fd, int level, int name, const void* value, socklen_t len);
ssize_t os_sendto(int fd, const void* buf, size_t len, int flags, const sockaddr* to,
                  socklen_t to_len);
int os_select(int nfds, fd_set* readfds, timeval* timeout);
ssize_t os_recvfrom(int fd, void* buf, size_t len, int flags, sockaddr* from,
                    socklen_t* from_len);
int os_close(int fd);
int os_poll(pollfd* fds, nfds_t count, int timeout_ms);
// Makes the discovery worker's socket ahead, its receive queue forced to
// queue_bytes while the process may (CAP_NET_ADMIN). os_socket(AF_INET,
// SOCK_DGRAM, 0) hands it out once, and a forced size then asked for on it
// holds, where the worker's own attempt, now refused, would get less.
void os_presize_udp_socket(int queue_bytes);
int os_socketpair(int domain, int type, int protocol, int (&fds)[2]);

int os_daemon(int nochdir, int noclose);
pid_t os_fork();
unsigned os_sleep(unsigned seconds);
// Ends a forked process at once, without the exit handlers of its parent's copy.
[[noreturn]] void os_exit(int status);

FILE* os_fopen(const char* path, const char* mode);
int os_fclose(FILE* stream);

// Results as pthread_create and pthread_join give them: 0 or an errno value.
int os_thread_create(pthread_t* thread, void* (*entry)(void*), void* arg);
int os_thread_join(pthread_t thread);

void os_uuid_generate(unsigned char (&out)[16]);
