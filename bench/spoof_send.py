#!/usr/bin/env python3
"""bench/spoof_send.py TARGET PORT N FIRST: one burst of N UDP datagrams to
TARGET:PORT, each from its own forged IPv4 source address, counting up from
FIRST. Sent through a raw socket, so it needs root; bench/spoof runs it in
the lab's camera namespace. It sends nothing else and ends when the burst is
out."""
import ipaddress
import socket
import struct
import sys

PROBE_MATCH = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    '<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" '
    'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">'
    '<s:Body><d:ProbeMatches><d:ProbeMatch>'
    '<d:XAddrs>http://{addr}/onvif/device_service</d:XAddrs>'
    '<d:Scopes>onvif://www.onvif.org/name/spoof onvif://www.onvif.org/hardware/SPOOF-1</d:Scopes>'
    '</d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>')


def datagram(source, target, port, payload):
    udp = struct.pack('!HHHH', 3702, port, 8 + len(payload), 0) + payload
    # The kernel fills in the total length, the identification and the
    # header checksum of a header handed to it with IP_HDRINCL.
    ip = struct.pack('!BBHHHBBH4s4s', 0x45, 0, 0, 0, 0, 64, socket.IPPROTO_UDP, 0,
                     source.packed, target.packed)
    return ip + udp


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    target = ipaddress.IPv4Address(sys.argv[1])
    port, count = int(sys.argv[2]), int(sys.argv[3])
    first = ipaddress.IPv4Address(sys.argv[4])
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    raw.setsockopt(socket.IPPROTO_IP, socket.IP_HDRINCL, 1)
    sent = 0
    for i in range(count):
        source = first + i
        payload = PROBE_MATCH.format(addr=source).encode()
        try:
            raw.sendto(datagram(source, target, port, payload), (str(target), 0))
            sent += 1
        except OSError:
            pass  # a full queue: the datagram is lost, as on a real LAN
    raw.close()
    print(f'spoof_send: {sent} of {count} datagrams sent')


if __name__ == '__main__':
    main()
