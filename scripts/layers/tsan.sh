# The portable core's unit tests under ThreadSanitizer: the worker thread, the shared settings and
# display state, and whatever else the native tests run on several threads.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
"$ROOT/scripts/build.sh" tsan
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  "$BUILD/tsan/tests/native/lumvo_native_tests" --gtest_brief=1 | tee "$OUTPUT/tsan-tests.log"
say "summary: tsan: $(grep -Eo '[0-9]+ tests?' "$OUTPUT/tsan-tests.log" | tail -n 1) passed with no data race reported"
