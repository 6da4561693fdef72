// Process control of the run sequence, threads, files and the random
// source of message identifiers, passed straight to the C library.
#include <unistd.h>
#include <uuid/uuid.h>

#include "platform/os_calls.h"

int os_daemon(int nochdir, int noclose)
{
    return daemon(nochdir, noclose);
}

pid_t os_fork()
{
    return fork();
}

unsigned os_sleep(unsigned seconds)
{
    return sleep(seconds);
}

void os_exit(int status)
{
    _exit(status);
}

int os_thread_create(pthread_t* thread, void* (*entry)(void*), void* arg)
{
    return pthread_create(thread, nullptr, entry, arg);
}

int os_thread_join(pthread_t thread)
{
    return pthread_join(thread, nullptr);
}

// The kernel writes /proc/net/arp afresh for every read(2), at most a
// page each time, walking its neighbour hash from the start to the line
// reached, so every read costs the lines before it again: a page or more
// makes the fewest reads, and the C library's buffer for a procfs file
// (st_blksize) is far less. Only the discovery worker reads files here,
// one at a time, so one buffer serves; another stream keeps the default.
static char read_buffer[64 * 1024];
static FILE* buffered_stream = nullptr;

FILE* os_fopen(const char* path, const char* mode)
{
    FILE* stream = fopen(path, mode);
    if (stream != nullptr && mode[0] == 'r' && buffered_stream == nullptr &&
        setvbuf(stream, read_buffer, _IOFBF, sizeof read_buffer) == 0)
        buffered_stream = stream;
    return stream;
}

int os_fclose(FILE* stream)
{
    if (stream == buffered_stream)
        buffered_stream = nullptr;
    return fclose(stream);
}

void os_uuid_generate(unsigned char (&out)[16])
{
    uuid_generate(out);
}
