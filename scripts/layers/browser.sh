# The guest phone app, the browser moderator page, the look editor and the help texts, in Debian's
# Chromium driven by playwright-core, each file against its own real wall server on a free
# loopback port. Screenshots at phone size land in test-output/browser/screenshots/.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
[ -x "$NODE_LINUX" ] || die "Node.js 22 is missing: run scripts/setup.sh"
[ -x /usr/bin/chromium ] || die "Chromium is missing: run scripts/setup.sh"
[ -d "$ROOT/node_modules/playwright-core" ] || die "playwright-core is missing: run scripts/setup.sh"
cd "$ROOT"
rm -rf "$OUTPUT/browser" && mkdir -p "$OUTPUT/browser/screenshots"
log="$OUTPUT/browser/tests.tap"
set +e
# One file at a time: the machine's two cores are shared, and each file starts a browser.
"$NODE_LINUX" --test --test-concurrency=1 --disable-warning=ExperimentalWarning tests/browser/*.test.mjs | tee "$log"
status=${PIPESTATUS[0]}
set -e
pass=$(sed -n 's/^# pass \([0-9]*\)$/\1/p' "$log" | tail -n 1)
fail=$(sed -n 's/^# fail \([0-9]*\)$/\1/p' "$log" | tail -n 1)
size=$(sed -n 's/.*first view of \/ transferred \([0-9]*\) bytes.*/\1/p' "$log" | tail -n 1)
shots=$(find "$OUTPUT/browser/screenshots" -name '*.png' | wc -l)
say "summary: browser ${pass:-0} passed, ${fail:-0} failed; first view ${size:-?} bytes; $shots screenshots in test-output/browser/screenshots"
exit "$status"
