#!/usr/bin/env bash
# Runs every test layer (or the ones named on the command line) and ends with one summary line.
#   lint     static checks: ESLint over the JavaScript
#   native   portable core, GoogleTest
#   asan     the same under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     the same under ThreadSanitizer (the threaded parts are what it is for)
#   fuzz     the libFuzzer targets on untrusted input, each for LUMVO_FUZZ_SECONDS (default 20)
#   windows  the DLL, its Windows tests and the stand-in host, under Wine
#   installer  the DJ's installer and update package (scripts/package.sh), installed, upgraded and
#            uninstalled in a fresh Wine prefix
#   server   the wall server, node:test
#   browser  the guest pages in Chromium through Playwright
# `quick` stands for native and server: the inner loop's lane, a few minutes on a 2-core machine.
# Each layer is scripts/layers/<name>.sh; a layer's output goes to test-output/<name>.log and is
# shown when it fails.
set -uo pipefail
source "$(dirname "$0")/lib/common.sh"

ALL_LAYERS=(lint native asan tsan fuzz windows installer server browser)
QUICK_LAYERS=(native server)
layers=()
for name in "$@"; do
  if [ "$name" = quick ]; then layers+=("${QUICK_LAYERS[@]}"); else layers+=("$name"); fi
done
[ ${#layers[@]} -eq 0 ] && layers=("${ALL_LAYERS[@]}")

mkdir -p "$OUTPUT"
passed=0; failed=0; report=""
for layer in "${layers[@]}"; do
  script="$ROOT/scripts/layers/$layer.sh"
  log="$OUTPUT/$layer.log"
  start=$(date +%s)
  if [ ! -f "$script" ]; then
    echo "no such test layer: $layer" >"$log"; status=1
  else
    say "== $layer"
    bash "$script" >"$log" 2>&1; status=$?
  fi
  secs=$(( $(date +%s) - start ))
  if [ $status -eq 0 ]; then
    passed=$((passed + 1)); report="$report $layer:ok(${secs}s)"
    grep -E '^(summary|result):' "$log" | sed 's/^/   /' || true
  else
    failed=$((failed + 1)); report="$report $layer:FAILED(${secs}s)"
    say "-- $layer failed; the last lines of $log:"; tail -n 80 "$log"
  fi
done
say "tests: $passed layers passed, $failed failed:$report"
[ $failed -eq 0 ]
