#!/usr/bin/env python3
# pg_stall.py SOCKET PID: a PostgreSQL server that completes start-up
# (AuthenticationOk, ParameterStatus, BackendKeyData, ReadyForQuery) and
# then reads nothing, on a Unix socket, while process PID (the test) lives
# and for an hour at most.
import os, socket, struct, sys, time

def message(kind, body):
    return kind + struct.pack("!i", len(body) + 4) + body

server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen(8)
server.settimeout(0.5)
end, held = time.time() + 3600, []
while time.time() < end and os.path.exists("/proc/" + sys.argv[2]):
    try:
        client, _ = server.accept()
    except socket.timeout:
        continue
    client.recv(8192)
    client.sendall(message(b"R", struct.pack("!i", 0)) +
                   b"".join(message(b"S", k + b"\0" + v + b"\0") for k, v in
                            [(b"server_version", b"15.0"), (b"client_encoding", b"UTF8"),
                             (b"standard_conforming_strings", b"on"), (b"integer_datetimes", b"on")]) +
                   message(b"K", struct.pack("!ii", 4242, 4242)) + message(b"Z", b"I"))
    held.append(client)
