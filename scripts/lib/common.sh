# Shared by the project's scripts: paths, pinned versions and small helpers. Source it; do not run it.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
DEPS="$ROOT/.deps"
BUILD="$ROOT/build"
OUTPUT="$ROOT/test-output"

# Node.js 22 for Linux (tests, tools) and Windows (under Wine), from the npm registry's binary packages.
NODE_VERSION="22.23.3"
NODE_LINUX="$DEPS/node-linux/bin/node"
NODE_WIN="$DEPS/node-win/bin/node.exe"

# Preloaded by the JavaScript fuzz targets where the fuzzer's engine needs it (scripts/setup.sh).
JAZZER_COMPAT="$DEPS/jazzer-compat/libjazzer-compat.so"

# The node binary every script uses for the wall server and the JavaScript tests.
node22() { "$NODE_LINUX" "$@"; }

say() { printf '%s\n' "$*"; }
die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Runs a command as root: directly when we are root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

JOBS="${LUMVO_JOBS:-2}"
