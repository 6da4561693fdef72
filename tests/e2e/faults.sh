#!/usr/bin/env bash
# Faults during a run. First: 100 cameras on two LANs while 40 devices
# flood the worker with 5000 datagrams a second of every kind (Hello, empty,
# not a ProbeMatch, oversized, repeated ProbeMatches), and the second LAN
# loses its address and goes down 3 seconds in. Then: a store that cannot
# be opened. Each time the run must go on to its end and exit on time.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
run_seconds=12

udp() { awk -v name="$2" '$1 == "Udp:" && !h { for (i = 2; i <= NF; i++) c[$i] = i; h = 1; next }
                          $1 == "Udp:" && h { print $c[name] }' "$1"; }
run_length_ok() {  # the exit line no later than the run, one receive wait, the pause, the
  local first last   # store's last wait ($2 seconds) and a second
  first=$(date -d "$(grep -m1 'in_lan_num' "$1/log" | cut -d' ' -f1)" +%s.%N)
  last=$(date -d "$(grep 'exit(0)' "$1/log" | cut -d' ' -f1)" +%s.%N)
  awk -v a="$first" -v b="$last" -v r="$run_seconds" -v s="${2:-0}" \
    'BEGIN { exit !(b - a >= r + 2 && b - a <= r + 5 + 2 + s + 1) }'
}

"$build/onvif_camsim" --generate 100 --seed 21 --lans 2 --flooders 40 --flood-rate 125 >"$work/fleet.json"
"$top/scripts/lab" --fleet "$work/fleet.json" --daemon "$build/onvif_camscout_short_run" --run-seconds "$run_seconds" \
  --work "$work" --quiet --at 3 "ip addr flush dev lan1 && ip link set lan1 down" >/dev/null \
  || { echo "FAILED: lab"; failures=1; }
"$build/onvif_camsim" --fleet "$work/fleet.json" --list-devices | grep -v '^flood' | awk '{print $3 "|" $4}' | sort >"$work/expected.txt"
sqlite3 -separator '|' "$work/store.db" "SELECT ip_addr, mac_addr FROM found_media_sources WHERE ip_addr NOT LIKE '10.77.200.%'" \
  | sort >"$work/stored.txt"
check "every real camera stored once despite the flood" diff -u "$work/expected.txt" "$work/stored.txt"
check "the flooders are each taken in once at most" \
  [ "$(grep -c 'pch_IP 10.77.200.' "$work/log")" -le 40 ]
check "the run ends on time" run_length_ok "$work"
check "the worker stops before the exit line" \
  [ "$(grep -c -F '[onvif_camscout] stop recv thread...' "$work/log")" = 1 ]
read -r ticks hz peak_kb <"$work/daemon-stats.txt"
check "memory stays bounded (peak $((peak_kb / 1024)) MB)" [ "$peak_kb" -lt 65536 ]
flood=$(grep -o 'flood sent [0-9]*' "$work/sim.txt" | awk '{print $3}')
received=$(($(udp "$work/snmp-after.txt" InDatagrams) - $(udp "$work/snmp-before.txt" InDatagrams)))
lost=$(($(udp "$work/snmp-after.txt" RcvbufErrors) - $(udp "$work/snmp-before.txt" RcvbufErrors)))
closed=$(($(udp "$work/snmp-after.txt" NoPorts) - $(udp "$work/snmp-before.txt" NoPorts)))
echo "flood: $flood datagrams sent, $received received by the worker's socket, $lost lost to a full queue," \
  "$closed arrived after the socket was closed," \
  "peak memory $((peak_kb / 1024)) MB, cpu $(awk -v t="$ticks" -v h="$hz" 'BEGIN { printf "%.2f", t / h }') s"

# A store path that is a folder: nothing can be stored, and the log says why.
mkdir -p "$work-store/store.db"
"$build/onvif_camsim" --generate 10 --seed 22 >"$work-store/fleet.json"
"$top/scripts/lab" --fleet "$work-store/fleet.json" --daemon "$build/onvif_camscout_short_run" \
  --run-seconds "$run_seconds" --work "$work-store" --quiet >/dev/null 2>&1
work=$work-store
check "an unusable store is reported with an [msas] line" log_has "[msas] cannot open"
check "and the run still ends on time, after at most 3 s more for the store" run_length_ok "$work" 3
check "every camera still reaches the store line" \
  [ "$(log_count 'msas_store_found_media_source_onvif')" = 10 ]
finish
