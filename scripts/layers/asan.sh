# The portable core's unit tests under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
"$ROOT/scripts/build.sh" asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$BUILD/asan/tests/native/lumvo_native_tests" --gtest_brief=1 | tee "$OUTPUT/asan-tests.log"
say "summary: asan: $(grep -Eo '[0-9]+ tests?' "$OUTPUT/asan-tests.log" | tail -n 1) passed with no sanitizer report"
