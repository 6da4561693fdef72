#!/usr/bin/env bash
# The Debian package under a real systemd. It is built with dpkg-buildpackage
# and checked with lintian, installed with apt into a minimal Debian 12 root,
# and that root boots in the lab's recorder namespace against 30 simulated
# cameras. A unit inside starts a run, records what it sees, purges the
# package and powers off; this script reads its report.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../e2e/lib.sh"
for tool in debootstrap systemd-nspawn dpkg-buildpackage lintian systemd-analyze; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (scripts/install-deps)"; exit 77; }
done
[ -d /sys/fs/cgroup ] || { echo "SKIPPED: no cgroup file system to boot a container in"; exit 77; }
root=$work/root

git -C "$top" ls-files -co --exclude-standard | (cd "$top" && tar -cf - -T -) | (mkdir -p "$work/src" && tar -xf - -C "$work/src")
(cd "$work/src" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
deb=$(ls "$work"/onvif-camscout_*.deb)
check "lintian finds no errors" lintian --allow-root --fail-on error "$deb"
check "the manual pages render without warnings" [ -z "$(for page in "$top"/man/*.[18]; do MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null; done)" ]
dpkg-deb -x "$deb" "$work/pkg"
for unit in onvif_camscout.service onvif_camscout-central-expire.service; do
  exposure=$(systemd-analyze security --offline=true "$work/pkg/lib/systemd/system/$unit" 2>&1 |
    sed -n "s/.*Overall exposure level for $unit: \([0-9.]*\).*/\1/p")
  check "$unit's exposure is at most 2.0 (it is ${exposure:-unknown})" awk -v e="${exposure:-99}" 'BEGIN { exit !(e <= 2.0) }'
done

mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
# The package's libraries come with the root, so that apt needs no network.
libraries=$(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/ //g')
debootstrap --variant=minbase --include="systemd,systemd-sysv,dbus,iproute2,$libraries" bookworm \
  "$root" "${mirror:-http://deb.debian.org/debian}" >"$work/debootstrap.log" 2>&1 || { tail "$work/debootstrap.log"; exit 1; }
cp "$deb" "$root/root/onvif-camscout.deb"
cp "$here/systemd-check.sh" "$root/root/check.sh"
cat >"$root/etc/systemd/system/camscout-check.service" <<'UNIT'
[Unit]
After=multi-user.target
[Service]
Type=oneshot
ExecStart=/bin/sh /root/check.sh
UNIT
ln -s ../camscout-check.service "$root/etc/systemd/system/multi-user.target.wants/camscout-check.service"

"$build/onvif_camsim" --generate 30 --seed 13 --silent 2 >"$work/fleet.json"  # 2 whose addresses never resolve
# systemd-nspawn's own system-call filter refuses Landlock's calls and
# seccomp, and it keeps CAP_NET_ADMIN from the container; it lets them
# through, as a recorder's systemd does.
boot='timeout 420 systemd-nspawn -q --register=no --keep-unit -D "$ROOT" -b --network-namespace-path=/run/netns/$LAB_NETNS \
  --capability=CAP_NET_ADMIN --system-call-filter="seccomp landlock_create_ruleset landlock_add_rule landlock_restrict_self"'
ROOT=$root "$top/scripts/lab" --fleet "$work/fleet.json" --run-seconds 330 --quiet --work "$work/lab" \
  --instead "$boot >'$work/console.log' 2>&1" >/dev/null || echo "the container ended with an error"
report=$root/root/report.txt
if [ ! -s "$report" ] && ! grep -q 'systemd' "$work/console.log"; then
  echo "SKIPPED: this machine could not boot the container:"; tail -5 "$work/console.log"; exit 77
fi
[ -s "$report" ] || { echo "FAILED: no report from inside"; tail -30 "$work/console.log"; exit 1; }
cat "$report"
value() { sed -n "s/^$1 //p" "$report" | head -1; }
check "apt installs the package under a running systemd" grep -q "Setting up onvif-camscout" "$root/root/install.log"
check "no run starts within 60 s of the install" [ "$(value lines-after-install)" = "0 0" ]
check "the timer is enabled" [ "$(value timer-enabled)" = enabled ]
check "the central inventory's expiry timer is shipped, neither enabled nor started" [ "$(value expiry-timer)" = "disabled inactive" ]
check "the timer's next run is at a tenth minute" bash -c "[[ '$(value timer-next)' =~ [0-9][0-9]:[0-5]0:00 ]]"
check "a run lasts about 62 s" awk -v s="$(value run-seconds)" 'BEGIN { exit !(s >= 61 && s <= 70) }'
check "it ends with result success; a second start during it made no second run" [ "$(value result) $(value runs)" = "success 1" ]
check "a run is two processes, discovery and store" [ "$(value processes)" = 2 ]
check "both processes are confined ($(value confine))" \
  bash -c "grep -q '^confine .*discovery process is confined' '$report' && grep -q '^confine .*store process is confined' '$report'"
check "the store process removed the entries the silent addresses left" [ "$(value removed)" = 1 ]
check "a run by hand beside the service's is refused by the same lock" [ "$(value hand-run-refused)" = 1 ]
check "the journal holds the run's lines" awk -v n="$(value journal-lines)" 'BEGIN { exit !(n >= 30) }'
check "the run's processes have no root uid" bash -c "! grep -E '^proc Uid: 0 ' '$report' && grep -q '^proc Uid:' '$report'"
check "no capability but the unit's CAP_NET_ADMIN" bash -c "! grep -oE 'Cap[A-Za-z]+: [0-9a-f]+' '$report' | grep -vE ': 0{16}|: 0{12}1000'"
# The discovery process is the one with the filter of its own on the unit's.
check "which the store process holds and the discovery process drops" [ "$(grep '^proc Uid' "$report" | sort -t: -k9n |
  sed 's/.*CapPrm: \([0-9a-f]*\) CapEff: \([0-9a-f]*\) .*CapAmb: \([0-9a-f]*\).*/\1 \2 \3/' | tr '\n' ' ')" = "$(printf '%016x ' 4096 4096 0 0 0 0)" ]
check "and no new privileges" bash -c "! grep -E 'NoNewPrivs: 0' '$report' && grep -q 'NoNewPrivs: 1' '$report'"
"$build/onvif_camsim" --fleet "$work/fleet.json" --list-devices | awk '$5 == "on" {print $3 "," $4}' | sort >"$work/expected.txt"
check "every camera is in the unit's store" diff -u "$work/expected.txt" "$root/root/stored.txt"
check "a reinstall over the store leaves the package installed, its timer started" \
  [ "$(value reinstalled)" = "install ok installed active" ]
check "removing the package during a run stops the run first" [ "$(value processes-after-remove)" = 0 ]
check "dpkg --purge leaves nothing behind" [ "$(value left)" = 0 ]
finish
