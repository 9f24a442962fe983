#!/usr/bin/env bash
# Benchmark of the moderator window's one-second tick: the host thread's time in one WM_TIMER of
# the real window (lumvo_windows_tests.exe, test ModeratorTick.*) under Wine, against a server on
# 127.0.0.1:8787 inside the test program that answers GET /api/state with the same body each time,
# with one of two 200-post bodies in turn, or accepts and never answers. Medians; the list refills
# are counted too (an unchanged reply must refill nothing). Run it under the port's lock:
#   flock /tmp/lumvo-8787.lock bench/moderator-tick.sh
#   LUMVO_BENCH_TICKS   ticks per case (default 101)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$ROOT/scripts/lib/wine-env.sh"

"$ROOT/scripts/build.sh" cross
OUT="$OUTPUT/bench/moderator-tick"
mkdir -p "$OUT"
wine_env_start
curl -fs -o /dev/null --max-time 2 http://127.0.0.1:8787/api/display \
  && die "something already answers on 127.0.0.1:8787; stop it first"
LUMVO_BENCH_TICKS="${LUMVO_BENCH_TICKS:-101}" WINE_RUN_TIMEOUT=600 \
  wine_run "$BUILD/cross/bin/lumvo_windows_tests.exe" --gtest_filter='ModeratorTick.*' >"$OUT/tests.log" \
  || { cat "$OUT/tests.log"; die "the tick benchmark failed"; }
grep -E '^measured:' "$OUT/tests.log"
say "bench: Wine 8 on $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //') ($(nproc) cores); log in $OUT/tests.log"
