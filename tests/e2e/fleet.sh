#!/usr/bin/env bash
# A generated fleet of 100 cameras, every one answering both Probes after a
# random delay, is stored whole: each camera once, with its own MAC address.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

"$build/onvif_camsim" --generate 100 --seed 11 >"$work/fleet.json"
"$top/scripts/lab" --fleet "$work/fleet.json" --daemon "$build/onvif_camscout_short_run" --run-seconds 12 \
  --work "$work" --quiet >/dev/null || { echo "FAILED: lab"; failures=1; }

"$build/onvif_camsim" --fleet "$work/fleet.json" --list-devices | awk '{print $3 "|" $4}' | sort >"$work/expected.txt"
sqlite3 -separator '|' "$work/store.db" "SELECT ip_addr, mac_addr FROM found_media_sources" | sort >"$work/stored.txt"
check "all 100 cameras stored once, each with its own MAC address" diff -u "$work/expected.txt" "$work/stored.txt"
check "every ProbeMatch taken in was stored" \
  [ "$(log_count 'msas_store_found_media_source_onvif')" = 100 ]
check "onvif_camscout_list shows them" \
  [ "$("$build/onvif_camscout_list" --store "$work/store.db" --csv | tail -n +2 | wc -l)" = 100 ]
finish
