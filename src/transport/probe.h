#pragma once

// Sends the NetworkVideoTransmitter and Device Probes, each with a fresh
// MessageID, out of every interface of in_lan_list. On the first failure
// it logs, closes onvif_socket, sets it to -1 and sends nothing more.
void send_onvif_probe();
