# The Windows layer: cross-builds the plug-in DLL, its test variant, the Windows tests and the
# stand-in host, checks the DLLs' export and import tables, and runs the tests under Wine.
#   LUMVO_WINDOWS_FILTER   a GoogleTest filter, to run some of the tests
set -euo pipefail
source "$(dirname "$0")/../lib/common.sh"
source "$ROOT/scripts/lib/wine-env.sh"
source "$ROOT/scripts/lib/dll-checks.sh"

"$ROOT/scripts/build.sh" cross
BIN="$BUILD/cross/bin"
DLL="$BIN/LUMVO Video Wall.dll"
TEST_DLL="$BIN/test-variant/LUMVO Video Wall.dll"
# The host finds the plug-in by DllGetClassObject, the shipped DLL's one export. The test variant
# adds the test-only LumvoMirroredState (the stand-in host's --print-state). Anything more is an
# accident of the build. The update jobs of the shipped DLL go only to the maker's site with the
# release key: the test build's setup, which reads where to go from LUMVO_TEST_* variables, must
# not be in it (the test variant carries it, which shows that the check can see it). Its imports
# are DLLs every Windows has: no MinGW runtime to ship beside the plug-in.
exports="$(dll_exports "$TEST_DLL")"
[ "$exports" = "DllGetClassObject LumvoMirroredState" ] \
  || die "the test variant must export DllGetClassObject and LumvoMirroredState; it exports: $exports"
dll_holds_test_setup "$TEST_DLL" || die "the test variant lacks its update setup; the check below would see nothing"
dll_check_shipped "$DLL"
say "summary: windows: the DLL exports only DllGetClassObject (its test variant also LumvoMirroredState); imports only system DLLs ($(dll_imports "$DLL" | tr ' ' ','))"

wine_env_start
# The tests start the wall server the way the plug-in does, with node.exe from its private runtime.
wine_stage_node

# Throw-away TLS certificates for the update's HTTPS fixture site, made fresh for each run: RSA-2048,
# self-signed for localhost and 127.0.0.1, each its own root, valid 2 days. The tests trust the first
# for their run (tests/windows/tls_trust.h); the second is never trusted.
TLS="$BUILD/cross/test-tls"
make_test_certificate() {
  mkdir -p "$1"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=LUMVO test TLS" \
    -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,digitalSignature,keyEncipherment,keyCertSign" -addext "extendedKeyUsage=serverAuth" \
    -keyout "$1/key.pem" -out "$1/cert.pem" >/dev/null 2>&1 \
    && openssl x509 -in "$1/cert.pem" -outform DER -out "$1/cert.der" \
    || die "openssl could not make a test certificate in $1 (run scripts/setup.sh)"
}
rm -rf "$TLS"
make_test_certificate "$TLS"
make_test_certificate "$TLS/untrusted"
LUMVO_TEST_TLS_CERT="$(wine_path "$TLS/cert.pem")"
LUMVO_TEST_TLS_KEY="$(wine_path "$TLS/key.pem")"
LUMVO_TEST_TLS_UNTRUSTED_CERT="$(wine_path "$TLS/untrusted/cert.pem")"
LUMVO_TEST_TLS_UNTRUSTED_KEY="$(wine_path "$TLS/untrusted/key.pem")"
export LUMVO_TEST_TLS_CERT LUMVO_TEST_TLS_KEY LUMVO_TEST_TLS_UNTRUSTED_CERT LUMVO_TEST_TLS_UNTRUSTED_KEY
mkdir -p "$OUTPUT/windows"
set +e
wine_run "$BIN/lumvo_windows_tests.exe" --gtest_brief=1 ${LUMVO_WINDOWS_FILTER:+--gtest_filter="$LUMVO_WINDOWS_FILTER"} \
  | tee "$OUTPUT/windows/tests.log"
status=${PIPESTATUS[0]}
set -e
grep -E '^measured:' "$OUTPUT/windows/tests.log" | sed 's/^/summary: windows: /' || true
passed="$(grep -Eo '\[  PASSED  \] [0-9]+ tests?' "$OUTPUT/windows/tests.log" | grep -Eo '[0-9]+' || echo 0)"
[ "$status" -eq 0 ] || die "Windows tests failed (exit $status)"
say "summary: windows: $passed tests passed under Wine"

# The wall files under the Windows Node.js runtime: start the server with node.exe, let a guest
# post, read both documents, and shut it down the way the plug-in does.
WALL="$OUTPUT/windows/wall"
rm -rf "$WALL" && mkdir -p "$WALL" && cp -r "$ROOT/wall/server" "$ROOT/wall/web" "$WALL/"
port=18787
# Node's standard streams fail to open on a Wine pipe, so its output goes straight to a file (the
# plug-in starts it with no standard handles at all, which Node handles).
LUMVO_PORT=$port timeout --kill-after=10 120 wine "$NODE_WIN" "$(wine_path "$WALL/server/server.js")" 0 \
  >"$OUTPUT/windows/node-server.log" 2>&1 &
server_job=$!
up=""
for _ in $(seq 1 60); do
  curl -fs -o /dev/null "http://127.0.0.1:$port/api/display" && { up=1; break; }
  sleep 0.5
done
[ -n "$up" ] || { cat "$OUTPUT/windows/node-server.log"; die "the wall server did not come up under node.exe"; }
posted="$(curl -fs -X POST -H 'Content-Type: application/json' -d '{"name":"Wine","text":"hello from node.exe"}' \
  "http://127.0.0.1:$port/api/guest/shoutout")"
state="$(curl -fs "http://127.0.0.1:$port/api/state")"
display="$(curl -fs "http://127.0.0.1:$port/api/display")"
curl -fs -X POST -H 'Content-Type: application/json' -d '{}' "http://127.0.0.1:$port/api/shutdown" >/dev/null
wait "$server_job" || die "the wall server under node.exe did not exit cleanly after the shutdown request"
[[ "$posted" == *'"status":"pending"'* ]] || die "the guest post was not taken: $posted"
[[ "$state" == *'hello from node.exe'* ]] || die "the moderation document lacks the post: $state"
[[ "$display" == *'"joinUrl":"http://'* ]] || die "the display document lacks a join address: $display"
[ -s "$WALL/wall.db" ] || die "no database in the wall folder"
say "summary: windows: the wall server runs under node.exe $("$NODE_LINUX" -p 'process.versions.node'): guest post, both documents, shutdown"
