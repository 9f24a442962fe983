#!/usr/bin/env bash
# Benchmark of the overlay's draw slot: the real DLL in the stand-in host at 1920x1080 under Wine,
# with a wall server (tests/windows/fixtures/feed-server.js) whose feed gets a new post every
# second. The stand-in host times, in the same frames, an empty draw and the plug-in's draw, and
# sorts the plug-in's frames by what they repainted: nothing (an idle wall), the chat feed, the QR
# card (its caption fades in sixteen steps), the flames (every eighth post is hot, so for 4.5 s of
# every 7 s the flame layer of the feed's hot posts is painted and drawn each frame: "flames on the
# feed"). Medians, p95 and their ratios to the empty draw.
# A second pass in the same run is the busiest hero box: a poll whose four bars get votes on every
# display poll (confetti all the time) beside a featured card that opens and closes its half of the
# box every five seconds (a 3 s highlight); its frames repaint the poll panel ("poll") or the poll
# panel and the featured card ("several"), against the empty draw of the same frames.
# A third pass is the busiest word backdrop: a new "birthday" post featured every 1.5 s, so the
# confetti cannons fire their burst of 180 again and again on top of their streams and the pool
# stays near its 640 particles; its frames repaint the backdrop ("backdrop") or the backdrop and the
# featured card ("several").
# Under Wine the GPU is Mesa's software rasteriser: the figures are this machine's, not a TV PC's.
#   LUMVO_BENCH_SECONDS   how long to draw (default 30), at LUMVO_BENCH_FPS (default 20)
# Writes test-output/bench/overlay-draw/draw-stats.json.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$ROOT/scripts/lib/wine-env.sh"

seconds="${LUMVO_BENCH_SECONDS:-30}"
fps="${LUMVO_BENCH_FPS:-20}"
"$ROOT/scripts/build.sh" cross
OUT="$OUTPUT/bench/overlay-draw"
DATA="$BUILD/bench-overlay-data"
rm -rf "$OUT" "$DATA"
WALL="$DATA/LUMVO/video-wall"
mkdir -p "$OUT" "$WALL/server" "$WALL/web" "$WALL/photos"
cp "$ROOT/tests/windows/fixtures/feed-server.js" "$WALL/server/server.js"
cp -r "$ROOT/wall/web/brand" "$WALL/web/"
echo '<!doctype html><title>guest</title>' >"$WALL/web/index.html"
cp "$ROOT/wall/web/brand/lumvo-mark.png" "$WALL/photos/guest.png"

wine_env_start
curl -fs -o /dev/null --max-time 2 http://127.0.0.1:8787/api/display \
  && die "something already answers on 127.0.0.1:8787; stop it first"
wine_stage_node
WINE_RUN_TIMEOUT=900 wine_run "$BUILD/cross/bin/lumvo-standin-host.exe" --hidden --seconds "$seconds" --fps "$fps" \
  --by-repaint --print-state --data "$(wine_path "$DATA")" --out "$(wine_path "$OUT")" >"$OUT/standin-host.log" \
  || { cat "$OUT/standin-host.log"; die "the stand-in host failed"; }
grep -E '^(empty draw:|draw slot|machine:|mirrored state:)' "$OUT/standin-host.log"
# The "flames on the feed" scenario is the frames that repainted only the flame layer.
sed -n 's/^draw slot, frames that repainted flames: /flames on the feed: /p' "$OUT/standin-host.log"

# The busiest hero box.
BUSY="$OUT/busy-hero"
mkdir -p "$BUSY"
touch "$WALL/busy-hero"
echo 'highlight_sec=3' >"$WALL/layout.ini"
WINE_RUN_TIMEOUT=900 wine_run "$BUILD/cross/bin/lumvo-standin-host.exe" --hidden --seconds "$seconds" --fps "$fps" \
  --by-repaint --print-state --data "$(wine_path "$DATA")" --out "$(wine_path "$BUSY")" >"$BUSY/standin-host.log" \
  || { cat "$BUSY/standin-host.log"; die "the stand-in host failed (busy hero box)"; }
rm -f "$WALL/busy-hero" "$WALL/layout.ini"
say "bench: poll running with confetti + featured card moving:"
grep -E '^(empty draw:|draw slot|mirrored state:)' "$BUSY/standin-host.log"
# The busiest word backdrop.
BIRTHDAY="$OUT/birthday-backdrop"
mkdir -p "$BIRTHDAY"
touch "$WALL/birthday-backdrop"
WINE_RUN_TIMEOUT=900 wine_run "$BUILD/cross/bin/lumvo-standin-host.exe" --hidden --seconds "$seconds" --fps "$fps" \
  --by-repaint --print-state --data "$(wine_path "$DATA")" --out "$(wine_path "$BIRTHDAY")" \
  >"$BIRTHDAY/standin-host.log" || { cat "$BIRTHDAY/standin-host.log"; die "the stand-in host failed (birthday backdrop)"; }
rm -f "$WALL/birthday-backdrop"
say "bench: birthday backdrop, a new burst every 1.5 s over its streams:"
grep -E '^(empty draw:|draw slot|mirrored state:)' "$BIRTHDAY/standin-host.log"
say "bench: Wine's software rasteriser on this machine; statistics in $OUT/draw-stats.json, $BUSY/draw-stats.json and $BIRTHDAY/draw-stats.json"
