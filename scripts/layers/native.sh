# The portable core's unit tests, natively built.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
"$ROOT/scripts/build.sh" native
"$BUILD/native/tests/native/lumvo_native_tests" --gtest_brief=1 | tee "$OUTPUT/native-tests.log"
grep -E '^measured:' "$OUTPUT/native-tests.log" | sed 's/^/summary: native: /' || true
say "summary: native: $(grep -Eo '[0-9]+ tests?' "$OUTPUT/native-tests.log" | tail -n 1) passed"
