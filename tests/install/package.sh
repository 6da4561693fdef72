#!/usr/bin/env bash
# The Debian package: built with CPack, installed with dpkg, run from its
# installed paths in the lab against 30 simulated cameras (the installed
# daemon's full 60-second run), then removed without leftovers.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/lib.sh"
if dpkg-query -W -f='${Status}' onvif-camscout 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIPPED: onvif-camscout is already installed on this machine; not touching it"
  exit 77
fi
cleanup() {
  dpkg -r onvif-camscout >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake -S "$top" -B "$work/build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DCAMSCOUT_TESTS=OFF >/dev/null
cmake --build "$work/build" -j "$(nproc)" >/dev/null
(cd "$work/build" && cpack >/dev/null)
deb=$(ls "$work"/build/onvif-camscout_*.deb)
check "the package names its libraries" bash -c "dpkg-deb -f '$deb' Depends | grep -q libuuid1 && dpkg-deb -f '$deb' Depends | grep -q libsqlite3-0"
check "the package installs" dpkg -i "$deb"
for f in /usr/sbin/onvif_camscout /usr/bin/onvif_camscout_list /usr/bin/onvif_camsim \
         /usr/lib/systemd/system/onvif_camscout.service /usr/lib/systemd/system/onvif_camscout.timer \
         /usr/share/man/man8/onvif_camscout.8 /usr/share/man/man1/onvif_camscout_list.1; do
  check "installed $f" test -e "$f"
done
check "the installed units verify" systemd-analyze verify /usr/lib/systemd/system/onvif_camscout.service \
  /usr/lib/systemd/system/onvif_camscout.timer

/usr/bin/onvif_camsim --generate 30 --seed 30 >"$work/fleet.json"
SIM=/usr/bin/onvif_camsim LIST=/usr/bin/onvif_camscout_list "$top/scripts/lab" --fleet "$work/fleet.json" \
  --daemon /usr/sbin/onvif_camscout --work "$work" --quiet >/dev/null || { echo "FAILED: lab"; failures=$((failures + 1)); }
check "the installed daemon stored all 30 cameras" \
  [ "$(/usr/bin/onvif_camscout_list --store "$work/store.db" --csv | tail -n +2 | wc -l)" = 30 ]

check "the package removes" dpkg -r onvif-camscout
check "nothing of it is left" bash -c '! ls /usr/sbin/onvif_camscout /usr/bin/onvif_camsim /usr/lib/systemd/system/onvif_camscout.service 2>/dev/null'
finish
