#include "transport/transport.h"

#include <fcntl.h>

#include "platform/os_calls.h"
#include "platform/platform.h"
#include "response/response.h"
#include "run/run.h"
#include "run/text_field.h"

std::atomic<bool> recv_thread_running{false};
// The running worker, valid while recv_thread_held is set.
static pthread_t recv_thread_handle;
static std::atomic<bool> recv_thread_held{false};
int onvif_socket = 0;
int max_fd = 0;

// A site's cameras all answer within half a second, twice, while the worker takes
// one datagram at a time: what the receive queue cannot hold is lost for the run.
// 16 MiB (the kernel doubles it) holds some 4000 cameras' answers.
static const int receive_buffer_bytes = 16 << 20;

static void open_onvif_socket()
{
    onvif_socket = os_socket(AF_INET, SOCK_DGRAM, 0);
    if (onvif_socket == -1) {
        debug_log("[onvif camscout] onvif_socket(%d) error failed", onvif_socket);
    } else {
        debug_log("[onvif camscout] onvif_socket(%d) create succ", onvif_socket);
        max_fd = onvif_socket;
        // As root the host's rmem_max does not cap it; otherwise take what it allows.
        if (os_setsockopt(onvif_socket, SOL_SOCKET, SO_RCVBUFFORCE, &receive_buffer_bytes, sizeof receive_buffer_bytes) != 0)
            os_setsockopt(onvif_socket, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes, sizeof receive_buffer_bytes);
    }
    int flags = os_fcntl(onvif_socket, F_GETFL, 0);
    os_fcntl(onvif_socket, F_SETFL, flags | O_NONBLOCK);
}

static void* onvif_recv_thread(void*)
{
    debug_log("[onvif_camscout] start recv thread...");
    char name[64];
    copy_text(name, "[onvif_camscout] recv thread...");
    nvr_sys_state_create_thread(name, 0);

    open_onvif_socket();
    send_onvif_probe();
    while (recv_thread_running)
        recv_onvif_response();

    max_fd = 0;
    if (onvif_socket >= 0)
        os_close(onvif_socket);
    onvif_socket = 0;
    recv_thread_held = false;
    nvr_sys_state_destroy_thread();
    debug_log("[onvif_camscout] stop recv thread...");
    return nullptr;
}

void start_recv_thread()
{
    recv_thread_running = true;
    if (recv_thread_held)
        return;
    // Held before the worker exists, so that the worker's own clearing at
    // its end can never come first.
    recv_thread_held = true;
    if (os_thread_create(&recv_thread_handle, onvif_recv_thread, nullptr) != 0)
        recv_thread_held = false;
}

void stop_recv_thread()
{
    bool held = recv_thread_held;
    pthread_t worker = recv_thread_handle;
    recv_thread_running = false;
    if (held)
        os_thread_join(worker);
    os_sleep(2);
}
