#pragma once

// One receive step of the discovery worker: waits up to 5 seconds for a
// datagram on onvif_socket and handles at most one.
void recv_onvif_response();
