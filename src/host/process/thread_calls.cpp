// Thread creation and joining, passed straight to the kernel. A file of
// their own, so that a test program can put failing ones in their place.
#include "platform/os_calls.h"

int os_thread_create(pthread_t* thread, void* (*entry)(void*), void* arg)
{
    return pthread_create(thread, nullptr, entry, arg);
}

int os_thread_join(pthread_t thread)
{
    return pthread_join(thread, nullptr);
}
