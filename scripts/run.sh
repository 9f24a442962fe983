#!/usr/bin/env bash
# The main job on this machine: build the plug-in DLL and run it in the stand-in host under Wine,
# with the real wall files and the Windows node.exe staged where the plug-in looks for them, so the
# plug-in starts the wall server itself. While it runs, a phone (scripts/demo-guests.mjs, from
# Linux) sends three shout-outs and a photo and the booth approves them; then the DJ at the desk
# (the host's --desk, cued by the script through a cue file) starts a poll from the moderator
# window's Vote tab that eight more phones vote in while the booth highlights a post, stops it, and
# posts from the booth composer. The desk's steps are printed from the host's "desk:" lines. Prints the draw slot's time
# per frame beside an empty draw's, the pipeline-state check, and what the plug-in mirrored from
# the server at the end (feed length, featured post, photos cached). The host loads the DLL's test
# variant: the same plug-in plus the test-only export that --print-state reads.
#   LUMVO_DEMO_SECONDS   how long to draw (default 24)
#   LUMVO_DEMO_FPS       frame rate (default 30); one frame a second is kept as PNG
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
source "$ROOT/scripts/lib/wine-env.sh"

seconds="${LUMVO_DEMO_SECONDS:-24}"
fps="${LUMVO_DEMO_FPS:-30}"

"$ROOT/scripts/build.sh" cross
BIN="$BUILD/cross/bin"
DEMO="$OUTPUT/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/frames"

wine_env_start
curl -fs -o /dev/null --max-time 2 http://127.0.0.1:8787/api/display \
  && die "something already answers on 127.0.0.1:8787; stop it first"

# The plug-in's folders in the prefix user's local application data: the wall files (made fresh,
# so every run starts with an empty wall) and the private Node.js runtime.
WALL="$(wine_local_appdata)/LUMVO/video-wall"
rm -rf "$WALL"
mkdir -p "$WALL/server"
cp -r "$ROOT/wall/server/server.js" "$ROOT/wall/server/package.json" "$ROOT/wall/server/src" "$WALL/server/"
cp -r "$ROOT/wall/web" "$WALL/"
wine_stage_node
say "run: wall files in $WALL, node.exe in $(wine_local_appdata)/LUMVO/runtime/node"

say "run: the stand-in host draws ${seconds}s at ${fps} fps (1920x1080); the plug-in starts the wall server"
TEST_DLL="$(wine_path "$BIN/test-variant/LUMVO Video Wall.dll")"
# The desk's cues: the script appends a line per step, the host acts on them between frames.
CUES="$DEMO/desk-cues.txt"
: >"$CUES"
WINE_RUN_TIMEOUT=600 wine_run "$BIN/lumvo-standin-host.exe" --dll "$TEST_DLL" --seconds "$seconds" --fps "$fps" \
  --png-every "$fps" --out "$(wine_path "$DEMO/frames")" --print-state --desk "$(wine_path "$CUES")" \
  >"$DEMO/standin-host.log" &
host_job=$!

guests=0
node22 "$ROOT/scripts/demo-guests.mjs" "$ROOT/wall/web/brand/lumvo-mark.png" "$CUES" | tee "$DEMO/guests.log" || guests=$?
set +e
wait "$host_job"
status=$?
set -e
grep -E '^desk:' "$DEMO/standin-host.log" || true
if [ "$status" -ne 0 ]; then
  cat "$DEMO/standin-host.log"
  die "the stand-in host failed (exit $status)"
fi
[ "$guests" -eq 0 ] || die "the guests could not post (see above); the host's log is in $DEMO/standin-host.log"

grep -E '^(plug-in: "|draw slot|empty draw:|state check:|machine:)' "$DEMO/standin-host.log" || true
state="$(sed -n 's/^mirrored state: //p' "$DEMO/standin-host.log")"
[ -n "$state" ] || die "the stand-in host printed no mirrored state"
say "run: the plug-in mirrored: $(node22 -e '
  const s = JSON.parse(process.argv[1]);
  console.log(`${s.feed} posts in the feed, featured ${s.featuredId || "(none)"}, ${s.photosCached} photo(s) cached (${s.photoBytes} bytes), theme ${s.theme}`);
' "$state")"
count=$(find "$DEMO/frames" -name 'frame-*.png' | wc -l)
say "run: $count PNG frames in $DEMO/frames"

# The gallery: the wall the guests just filled, with its hot post burning, in layout edit mode (the
# boxes' outlines and handles), drawn again in each theme and at two other sizes.
# The DJ's layout.ini names the theme; the plug-in pushes it to the server when it comes up.
if [ "${LUMVO_GALLERY:-1}" != 0 ]; then
  GALLERY="$DEMO/gallery"
  mkdir -p "$GALLERY"
  shot() {  # shot NAME THEME SIZE [more layout.ini lines]
    local scratch="$DEMO/gallery-run"
    rm -rf "$scratch" && mkdir -p "$scratch"
    printf 'theme=%s\n%s' "$2" "${4:-}" >"$WALL/layout.ini"
    # The hot post burns 4.5 s of every 7: of two frames 4 s apart, one shows its flames.
    local seconds=10
    [ "$1" != hot-post ] || seconds=14
    WINE_RUN_TIMEOUT=300 wine_run "$BIN/lumvo-standin-host.exe" --dll "$TEST_DLL" --hidden --seconds "$seconds" \
      --fps 10 --png-frames 100,140 --size "$3" --out "$(wine_path "$scratch")" --print-state >"$scratch/standin-host.log" \
      || { cat "$scratch/standin-host.log"; die "the stand-in host failed for the $1 frame"; }
    mv "$scratch/frame-00100.png" "$GALLERY/$1.png"
    [ "$1" != hot-post ] || mv "$scratch/frame-00140.png" "$GALLERY/$1-later.png"
    rm -rf "$scratch"
  }
  # First, while the reactions that made the first shout-out hot are recent.
  shot hot-post club 1920x1080
  shot edit-mode club 1920x1080 $'edit=1\n'
  for theme in club wedding event lounge garden; do shot "theme-$theme" "$theme" 1920x1080; done
  shot size-1280x720 club 1280x720
  shot size-1024x768 club 1024x768
  rm -f "$WALL/layout.ini"
  say "run: gallery in $GALLERY: $(cd "$GALLERY" && ls | tr '\n' ' ')"
fi
say "run: draw-time statistics in $DEMO/frames/draw-stats.json; the host's log in $DEMO/standin-host.log"
