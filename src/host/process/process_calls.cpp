// Process control of the run sequence, files and the random source of
// message identifiers, passed straight to the C library.
#include <fcntl.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>

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

// The kernel writes /proc/net/arp out afresh for every read(2), walking its
// whole neighbour hash (every namespace's entries) from the start up to the
// line reached, so every read costs the lines before it, again. The
// C library's buffer for a procfs file is its st_blksize, 1 KiB (about 12
// lines per read); the kernel hands out at most a page per read, so a
// buffer of a page or more makes a quarter of the reads: measured apart, a
// lookup of a random line of a 5000-entry table went from 9.7 to 2.8 ms.
static const size_t read_buffer_size = 64 * 1024;

// A procfs file read again and again (the ARP table, twenty times for each
// address not seen before) keeps its descriptor and buffer per thread and
// path: opening a procfs path and closing it again cost twice what reading
// a small table does. Rewinding makes the kernel write the file afresh at
// the next read, so every open still reads it as it is then.
struct kept_file {
    int fd = -1;
    bool in_use = false;  // a second open meanwhile gets a file of its own
    std::unique_ptr<char[]> buffer;
};

// Per thread, so no lock is needed; a map's entries stay where they are.
static thread_local std::map<std::string, kept_file> kept_files;

static ssize_t read_kept(void* cookie, char* buf, size_t n)
{
    return read(static_cast<kept_file*>(cookie)->fd, buf, n);
}

static int close_kept(void* cookie)
{
    static_cast<kept_file*>(cookie)->in_use = false;  // the descriptor stays for the next open
    return 0;
}

static FILE* open_kept(const char* path)
{
    kept_file& k = kept_files[path];
    if (k.in_use)
        return nullptr;
    if (k.fd >= 0 && lseek(k.fd, 0, SEEK_SET) != 0) {
        close(k.fd);
        k.fd = -1;
    }
    if (k.fd < 0)
        k.fd = open(path, O_RDONLY | O_CLOEXEC);
    if (!k.buffer)
        k.buffer.reset(new (std::nothrow) char[read_buffer_size]);
    FILE* stream = k.fd >= 0 && k.buffer
                       ? fopencookie(&k, "r", cookie_io_functions_t{read_kept, nullptr, nullptr, close_kept})
                       : nullptr;
    if (stream == nullptr)
        return nullptr;
    setvbuf(stream, k.buffer.get(), _IOFBF, read_buffer_size);
    k.in_use = true;
    return stream;
}

FILE* os_fopen(const char* path, const char* mode)
{
    FILE* stream = std::strcmp(mode, "r") == 0 && std::strncmp(path, "/proc/", 6) == 0 ? open_kept(path) : nullptr;
    return stream != nullptr ? stream : fopen(path, mode);
}

int os_fclose(FILE* stream)
{
    return fclose(stream);
}

void os_uuid_generate(unsigned char (&out)[16])
{
    uuid_generate(out);
}
