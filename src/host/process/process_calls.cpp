// Process control of the run sequence, files and the random source of
// message identifiers, passed straight to the C library.
#include <unistd.h>
#include <uuid/uuid.h>

#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

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
// line reached, so reading to line k costs k times the number of reads. The
// C library's buffer for a procfs file is its st_blksize, 1 KiB (about 12
// lines per read); the kernel hands out at most a page per read, so a
// buffer of a page or more makes a quarter of the reads: a lookup in a
// 5000-entry table went from 9.7 to 2.8 ms (README, Large sites).
static const size_t read_buffer_size = 64 * 1024;

static std::mutex buffers_lock;
static std::unordered_map<FILE*, std::unique_ptr<char[]>> buffers;

FILE* os_fopen(const char* path, const char* mode)
{
    FILE* stream = fopen(path, mode);
    if (stream == nullptr || mode[0] != 'r')
        return stream;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[read_buffer_size]);
    if (buffer && setvbuf(stream, buffer.get(), _IOFBF, read_buffer_size) == 0) {
        std::lock_guard<std::mutex> hold(buffers_lock);
        buffers[stream] = std::move(buffer);
    }
    return stream;
}

int os_fclose(FILE* stream)
{
    // Taken out before the close: once closed, the address may come back
    // from another thread's fopen with a buffer of its own.
    std::unique_ptr<char[]> buffer;
    {
        std::lock_guard<std::mutex> hold(buffers_lock);
        auto found = buffers.find(stream);
        if (found != buffers.end()) {
            buffer = std::move(found->second);
            buffers.erase(found);
        }
    }
    return fclose(stream);
}

void os_uuid_generate(unsigned char (&out)[16])
{
    uuid_generate(out);
}
