// The system-state service: on a generic host it names the thread for the
// kernel, so that ps and top show what the worker is.
#include <pthread.h>

#include "platform/platform.h"
#include "run/text_field.h"

int nvr_sys_state_create_thread(char* name, long long)
{
    char short_name[16];  // the kernel's limit, terminating zero included
    copy_text(short_name, name);
    return pthread_setname_np(pthread_self(), short_name);
}

int nvr_sys_state_destroy_thread()
{
    return 0;
}
