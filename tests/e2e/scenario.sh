#!/usr/bin/env bash
# One full 60-second run of the product binary against a fleet that holds
# every case at once: catalogue models, forced ports, missing XAddrs and
# Scopes, profile-only, percent-encoding, the maker's IP cameras, channels of
# a multi-channel source, Hello and other unprompted senders, a camera whose
# MAC cannot be resolved, the recorder's own address, two LANs beside a down
# interface and one without IPv4, and a second start during the run.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

"$top/scripts/lab" --fleet "$here/scenario_fleet.json" --local-fleet "$here/scenario_local.json" \
  --extra-interfaces --second-start 5 --work "$work" --quiet >/dev/null || { echo "FAILED: lab"; failures=1; }

sqlite3 -separator '|' "$work/store.db" \
  "SELECT ip_addr, mac_addr, port, brand_id, model, model_id >> 32, model_id & 4294967295
   FROM found_media_sources ORDER BY ip_addr, model" >"$work/stored.txt"
check "every camera stored once with the fields its answer implies" \
  diff -u "$here/scenario_expected.txt" "$work/stored.txt"

check "two LAN interfaces collected, the down one and the one without IPv4 left out" \
  [ "$(grep -o 'main() dev=\[[a-z0-9]*\]' "$work/log" | tr '\n' ' ')" = "main() dev=[lan0] main() dev=[lan1] " ]
check "the count line" log_has "[onvif camscout] main() in_lan_num=2"
check "two probes out of each interface" \
  [ "$(log_count 'Sending onvif soap ws-discovery transmitter ...OK')$(log_count 'Sending onvif soap ws-discovery device ...OK')" = 22 ]
check "the simulator saw two probes per LAN" grep -q 'probes received 4 (transmitter 2, device 2)' "$work/sim.txt"
check "a second start is refused" [ "$(log_count '[onvif camscout] reentried...')" = 1 ]
check "an unresolvable camera is logged with the all-zero MAC" \
  log_has "[onvif camscout] pch_IP 10.77.1.24, FindRemoteMAC = 00:00:00:00:00:00"
check "and reaches the store line, but not the store" \
  log_has "pInfo->model=[C100], pInfo->mac_addr=[00:00:00:00:00:00]"
check "the recorder's own reply gets the local interface's MAC" \
  log_has "[onvif camscout] get_local_mac_addr() dev=[lan0], addr=[10.77.0.1], mac=[02:c5:ff:00:00:00]"
check "unprompted non-ProbeMatch senders are looked up" \
  log_has "[onvif camscout] pch_IP 10.77.1.21, FindRemoteMAC = 02:c5:00:00:01:21"
check "the worker stops before the exit line, which ends the log" \
  [ "$(grep -v reentried "$work/log" | tail -2 | cut -d' ' -f3- | tr '\n' '|')" = "[onvif_camscout] stop recv thread...|[onvif camscout] onvif_camscout exit(0)|" ]
first=$(date -d "$(grep -m1 'in_lan_num' "$work/log" | cut -d' ' -f1)" +%s.%N)
last=$(date -d "$(grep 'exit(0)' "$work/log" | cut -d' ' -f1)" +%s.%N)
check "the run lasts at least 62 seconds" awk -v a="$first" -v b="$last" 'BEGIN { exit !(b - a >= 62) }'
finish
