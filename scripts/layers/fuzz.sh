# The libFuzzer targets, each for a bounded time (LUMVO_FUZZ_SECONDS, default 20) on a copy of its
# seed corpus. Any crash, sanitizer report, leak or input slower than 2 s fails the layer; the
# input that did it is kept in test-output/fuzz/<target>/.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
"$ROOT/scripts/build.sh" fuzz

seconds="${LUMVO_FUZZ_SECONDS:-20}"
summary=""
status=0

# Runs one target's command (the rest of the arguments) with its output in $work/run.log, and adds
# its result and libFuzzer's count of runs to the summary.
run_target() {
  local target="$1" work="$2"; shift 2
  local log="$work/run.log" result runs
  if "$@" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED; status=1
    tail -n 40 "$log"
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  say "$target: $result, ${runs:-?} runs in ${seconds}s"
  summary="$summary $target=${runs:-?}runs/${seconds}s($result)"
}
for binary in "$BUILD"/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$binary" ] || continue
  target="$(basename "$binary")"
  work="$OUTPUT/fuzz/$target"
  rm -rf "$work" && mkdir -p "$work/corpus"
  cp -R "$ROOT/tests/fuzz/corpus/$target/." "$work/corpus/" 2>/dev/null || true
  run_target "$target" "$work" "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=2 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus"
done

# The wall server's picture decoders under Jazzer.js (libFuzzer driving instrumented JavaScript),
# one target per tests/fuzz/js/*.fuzz.mjs, each for the same bounded time on the seeds that
# tests/fuzz/js/seeds.mjs makes. Any exception but the decoder's own refusal, an input slower than
# 2 s or more than 2 GB of memory fails the layer; the input is kept in test-output/fuzz/js_<name>/.
jazzer="$ROOT/node_modules/@jazzer.js/core/dist/cli.js"
[ -f "$jazzer" ] || die "Jazzer.js is missing: run scripts/setup.sh"
preload=""
[ -f "$JAZZER_COMPAT" ] && preload="$JAZZER_COMPAT"
for script in "$ROOT"/tests/fuzz/js/*.fuzz.mjs; do
  name="$(basename "$script" .fuzz.mjs)"
  target="js_$name"
  work="$OUTPUT/fuzz/$target"
  rm -rf "$work" && mkdir -p "$work"
  "$NODE_LINUX" "$ROOT/tests/fuzz/js/seeds.mjs" "$name" "$work/corpus"
  # Not --sync, although the targets are synchronous: Node frees what a failed zlib call holds only
  # when its event loop turns, which it never does between synchronous runs (a PNG target then
  # grows past 2 GB within a million runs).
  run_target "$target" "$work" env -C "$ROOT" ${preload:+LD_PRELOAD="$preload"} "$NODE_LINUX" "$jazzer" "$script" \
    "$work/corpus" --timeout=2000 --includes=wall/server/src/ --disable_bug_detectors='.*' \
    -- -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/"
done
[ -n "$summary" ] || { say "no fuzz targets were built"; exit 1; }
say "summary: fuzz$summary"
exit $status
