#!/usr/bin/env bash
# The manual pages render without warnings and the systemd units verify.
# Usage: units_and_man_pages.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1 build=$2
work=$(mktemp -d /tmp/camscout-units.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

for page in "$src"/man/*.[18]; do
  section=${page##*.}
  mkdir -p "$work/man/man$section"
  cp "$page" "$work/man/man$section/"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then echo "FAILED: $(basename "$page"): $warnings"; failures=$((failures + 1)); fi
done

if command -v systemd-analyze >/dev/null; then
  sed "s|^ExecStart=.*|ExecStart=$build/onvif_camscout|" "$build/onvif_camscout.service" >"$work/onvif_camscout.service"
  cp "$src/systemd/onvif_camscout.timer" "$work/"
  if ! out=$(cd "$work" && MANPATH="$work/man" systemd-analyze verify onvif_camscout.service onvif_camscout.timer 2>&1); then
    echo "FAILED: systemd-analyze verify: $out"; failures=$((failures + 1))
  fi
else
  echo "FAILED: systemd-analyze is not installed"; failures=$((failures + 1))
fi
[ "$failures" = 0 ] && echo "manual pages render cleanly; units verify"
exit $((failures > 0))
