#pragma once

// Sends the NetworkVideoTransmitter and Device Probes, each with a fresh
// MessageID, out of every interface of in_lan_list. On the first failure
// it logs, closes onvif_socket, sets it to -1 and sends nothing more.
void send_onvif_probe();

enum class probe_kind { transmitter, device };

// "uuid:" and the 16 bytes as lower-case 8-4-4-4-12 hex, zero-filled behind.
void format_message_id(const unsigned char (&uuid)[16], char (&message_id)[128]);
// The Probe text of the kind with message_id in place, zero-filled behind.
void format_probe(probe_kind kind, const char* message_id, char (&probe)[2048]);
