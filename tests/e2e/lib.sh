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

# Sanitizer reports of a sanitized build go to files in the work folder,
# since the daemon's standard streams are gone once it daemonises.
sanitizer_reports_to() {
  export ASAN_OPTIONS="log_path=$1/sanitizer:detect_leaks=0" UBSAN_OPTIONS="log_path=$1/sanitizer:print_stacktrace=1"
}

# A work folder for the lab's files, removed at exit with any sibling
# "$work-*" folders a test makes; sanitizer reports go into it.
work=$(mktemp -d /tmp/camscout-e2e.XXXXXX)
trap "rm -rf '$work' '$work'-*" EXIT
sanitizer_reports_to "$work"

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
