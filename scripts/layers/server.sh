# The wall server: node:test suites against real server processes, then a short load smoke run.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
[ -x "$NODE_LINUX" ] || die "Node.js 22 is missing: run scripts/setup.sh"
cd "$ROOT/wall/server"
log="$OUTPUT/server-tests.tap"
mkdir -p "$OUTPUT"
set +e
"$NODE_LINUX" --test --test-concurrency=2 --disable-warning=ExperimentalWarning --disable-warning=MODULE_TYPELESS_PACKAGE_JSON test/*.test.js | tee "$log"
status=${PIPESTATUS[0]}
set -e
pass=$(sed -n 's/^# pass \([0-9]*\)$/\1/p' "$log" | tail -n 1)
fail=$(sed -n 's/^# fail \([0-9]*\)$/\1/p' "$log" | tail -n 1)
skipped=$(sed -n 's/^# skipped \([0-9]*\)$/\1/p' "$log" | tail -n 1)
say "summary: wall server ${pass:-0} passed, ${fail:-0} failed, ${skipped:-0} skipped"
[ "$status" -eq 0 ] || exit "$status"
if [ -d "$ROOT/node_modules/autocannon" ]; then
  "$NODE_LINUX" "$ROOT/bench/wall-server-load.mjs" --smoke | tail -n 3
fi
