#!/usr/bin/env bash
# run.sh NAME: the lines "NAME VERB ARGS..." of tests/e2e/lab_tests.txt in
# order: a fleet, lab runs and checks of what they left, each a verb below.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
list=$build/onvif_camscout_list
dir=$work fleet=
# fleet FILE | generate ARGS: the cameras of the next runs.
fleet() { fleet=$here/$1; }
generate() { fleet=$dir/fleet.json; "$build/onvif_camsim" --generate "$@" >"$fleet"; }
# lab [--may-fail] OPTIONS: one run of the short-run build for 12 s unless
# the options say otherwise; fresh: the next run in a work folder of its own.
lab() {
  local may_fail=0; [ "${1:-}" = --may-fail ] && { may_fail=1; shift; }
  "$top/scripts/lab" --fleet "$fleet" --daemon "$build/onvif_camscout_short_run" --run-seconds 12 \
    --work "$dir" --quiet "$@" >>"$dir/lab.txt" 2>&1 || [ "$may_fail" = 1 ] || { echo "FAILED: lab"; tail "$dir/lab.txt"; failures=$((failures + 1)); }
}
fresh() { dir=$work-$1; mkdir -p "$dir"; }
# stored [AWK CONDITION]: the fleet's cameras (those the condition picks)
# are stored, each once and with its own MAC address, and nothing else is.
stored() {
  check "every camera stored once with its own MAC address" diff -u \
    <("$build/onvif_camsim" --fleet "$fleet" --list-devices | awk "${1:-1} {print \$3 \"|\" \$4}" | sort) \
    <(sqlite3 -separator '|' "$dir/store.db" "SELECT ip_addr, mac_addr FROM found_media_sources ${2:-}" | sort)
}
# log N TEXT: the log holds TEXT on exactly N lines.
log() { check "$2 logged $1 times" [ "$(grep -c -F -- "$2" "$dir/log")" = "$1" ]; }
# length MIN MAX: seconds from the count line to the exit line.
length() {
  local a b
  a=$(date -d "$(grep -m1 'in_lan_num' "$dir/log" | cut -d' ' -f1)" +%s.%N)
  b=$(date -d "$(grep 'exit(0)' "$dir/log" | cut -d' ' -f1)" +%s.%N)
  check "the run lasts $1 to $2 s" awk -v a="$a" -v b="$b" -v lo="$1" -v hi="$2" 'BEGIN { exit !(b - a >= lo && b - a <= hi) }'
}
# same FILE COMMAND...: the command's output is the file.
same() { local file=$1; shift; check "$1 shows what $file holds" diff -u "$here/$file" <("$@" 2>&1); }
# listings: the changes the list tool shows of the changes test's store, and its exit status.
listings() { "$list" --store "$dir/store.db" --changes --wide; echo "exit $?"; }

grep -q "^$1 " "$here/lab_tests.txt" || { echo "no test $1"; exit 1; }
while read -r -u 3 _ line; do eval "$line"; done 3< <(grep "^$1 " "$here/lab_tests.txt")
finish
