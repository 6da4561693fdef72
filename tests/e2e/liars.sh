#!/usr/bin/env bash
# 25 responders whose ARP is off answer at once, 50 ordinary cameras within
# half a second: the silent ones cost the run a bounded wait, so all 50 are
# stored; each silent one is logged without a MAC address and not stored.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

"$build/onvif_camsim" --generate 50 --seed 21 --silent 25 >"$work/fleet.json"
"$top/scripts/lab" --fleet "$work/fleet.json" --daemon "$build/onvif_camscout_short_run" --run-seconds 12 \
  --work "$work" --quiet >/dev/null || { echo "FAILED: lab"; failures=1; }

"$build/onvif_camsim" --fleet "$work/fleet.json" --list-devices >"$work/devices.txt"
awk '$5 == "on" {print $3 "|" $4}' "$work/devices.txt" | sort >"$work/expected.txt"
sqlite3 -separator '|' "$work/store.db" "SELECT ip_addr, mac_addr FROM found_media_sources" | sort >"$work/stored.txt"
check "the 50 cameras are stored, no silent one" diff -u "$work/expected.txt" "$work/stored.txt"
logged=$(awk '$5 == "off" {print "pch_IP " $3 ", FindRemoteMAC = 00:00:00:00:00:00"}' "$work/devices.txt" |
  grep -c -x -F -f - <(sed 's/^.*\] \[onvif camscout\] //' "$work/log"))
check "each silent one is logged without a MAC address ($logged of 25)" [ "$logged" = 25 ]
finish
