# The portable core's unit tests, natively built.
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
"$ROOT/scripts/build.sh" native
"$BUILD/native/tests/native/lumvo_native_tests" --gtest_brief=1
