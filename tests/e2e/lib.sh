# Shared by the end-to-end tests: skip without root, count failures.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-$top/build}
failures=0

if [ "$(id -u)" != 0 ]; then
  echo "SKIPPED: the end-to-end tests need root to create network namespaces"
  exit 77
fi

check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# A work folder for the lab's files and a sanitized daemon's reports (its
# standard streams are gone once it daemonises), removed at exit with "$work-*".
work=$(mktemp -d /tmp/camscout-e2e.XXXXXX)
trap 'kill ${victim:-} 2>/dev/null; rm -rf "$work" "$work"-*' EXIT  # victim: a process a test started
export ASAN_OPTIONS="log_path=$work/sanitizer:detect_leaks=0" UBSAN_OPTIONS="log_path=$work/sanitizer:print_stacktrace=1"

finish() {
  if ls "$work"/sanitizer.* >/dev/null 2>&1; then
    echo "FAILED: sanitizer reports"; cat "$work"/sanitizer.*; failures=$((failures + 1))
  fi
  if [ "$failures" -gt 0 ]; then
    echo "--- log"; cat "$work/log" 2>/dev/null || true
    exit 1
  fi
  exit 0
}
