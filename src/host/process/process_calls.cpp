// Process control of the run sequence, files and the random source of
// message identifiers, passed straight to the C library.
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

FILE* os_fopen(const char* path, const char* mode)
{
    return fopen(path, mode);
}

int os_fclose(FILE* stream)
{
    return fclose(stream);
}

void os_uuid_generate(unsigned char (&out)[16])
{
    uuid_generate(out);
}
