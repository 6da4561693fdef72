// Process control of the run sequence, passed straight to the kernel.
#include <unistd.h>

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

FILE* os_fopen(const char* path, const char* mode)
{
    return fopen(path, mode);
}
