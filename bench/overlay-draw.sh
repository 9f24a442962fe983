#!/usr/bin/env bash
# Benchmark of the overlay's draw slot: the real DLL (its test variant, which also reports what it
# did) in the stand-in host at 1920x1080 under Wine, with a wall server
# (tests/windows/fixtures/feed-server.js) whose feed gets a new post every second. The stand-in
# host times, in the same frames, an empty draw and the plug-in's draw, and sorts the plug-in's
# frames by what they repainted; medians, p95 and their ratios to the empty draw, and beside them
# the counters that do not depend on the machine, per frame: particles painted, pixels uploaded,
# texts laid out and texts drawn.
#
# Each scenario is one run of the stand-in host (the SCENARIOS table below):
# - feed: the rolling feed. Frames that repainted nothing (an idle wall), the chat feed, the QR
#   card (its caption fades in sixteen steps), the flames (every eighth post is hot, so for 4.5 s
#   of every 7 s the flame layer of the feed's hot posts is painted and drawn each frame: "flames
#   on the feed").
# - busy-hero: the busiest hero box: a poll whose four bars get votes on every display poll
#   (confetti all the time) beside a featured card that opens and closes its half of the box every
#   five seconds (a 3 s highlight); its frames repaint the poll panel ("poll") or the poll panel
#   and the featured card ("several").
# A scenario is a row: its name, the file in the wall folder that makes the fixture server send its
# content ("-" for none), and the layout.ini it runs with ("-" for none).
# - birthday-backdrop: the busiest word backdrop: a new "birthday" post featured every 1.5 s, so
#   the confetti cannons fire their burst of 180 again and again on top of their streams and the
#   pool stays near its 640 particles; its frames repaint the backdrop ("backdrop") or the
#   backdrop and the featured card ("several").
# Under Wine the GPU is Mesa's software rasteriser: the figures are this machine's, not a TV PC's.
#   LUMVO_BENCH_SECONDS        how long to draw (default 30), at LUMVO_BENCH_FPS (default 20)
#   LUMVO_BENCH_SCENARIOS      the scenarios to run, by name (default: all)
#   LUMVO_BENCH_BASELINE_DLL   another build's test-variant DLL (a Linux path): each scenario runs
#                              with it first, then with this build's, in the same run
# Writes test-output/bench/overlay-draw/<scenario>[-baseline]/draw-stats.json.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib/common.sh"
source "$ROOT/scripts/lib/wine-env.sh"

SCENARIOS=(
  "feed|-|-"
  "busy-hero|busy-hero|highlight_sec=3"
  "birthday-backdrop|birthday-backdrop|-"
)

seconds="${LUMVO_BENCH_SECONDS:-30}"
fps="${LUMVO_BENCH_FPS:-20}"
wanted="${LUMVO_BENCH_SCENARIOS:-}"
baseline="${LUMVO_BENCH_BASELINE_DLL:-}"
[ -z "$baseline" ] || [ -f "$baseline" ] || die "no baseline DLL at $baseline"
"$ROOT/scripts/build.sh" cross
DLL="$BUILD/cross/bin/test-variant/LUMVO Video Wall.dll"
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

# One run of the stand-in host: scenario name, label, DLL, output folder.
run_host() {
  local name="$1" label="$2" dll="$3" out="$4"
  mkdir -p "$out"
  WINE_RUN_TIMEOUT=900 wine_run "$BUILD/cross/bin/lumvo-standin-host.exe" --hidden --seconds "$seconds" --fps "$fps" \
    --by-repaint --print-state --dll "$(wine_path "$dll")" --data "$(wine_path "$DATA")" --out "$(wine_path "$out")" \
    >"$out/standin-host.log" || { cat "$out/standin-host.log"; die "the stand-in host failed ($name, $label)"; }
  say "bench: $name, $label:"
  grep -E '^(empty draw:|draw slot|counters per frame|machine:|mirrored state:)' "$out/standin-host.log"
}

for row in "${SCENARIOS[@]}"; do
  IFS='|' read -r name switch layout <<<"$row"
  [ -z "$wanted" ] || [[ " $wanted " == *" $name "* ]] || continue
  [ "$switch" = - ] || touch "$WALL/$switch"
  if [ "$layout" = - ]; then rm -f "$WALL/layout.ini"; else printf '%s\n' "$layout" >"$WALL/layout.ini"; fi
  [ -z "$baseline" ] || run_host "$name" "baseline build" "$baseline" "$OUT/$name-baseline"
  run_host "$name" "this build" "$DLL" "$OUT/$name"
  [ "$switch" = - ] || rm -f "$WALL/$switch"
  rm -f "$WALL/layout.ini"
done
say "bench: Wine's software rasteriser on this machine; statistics in $OUT/*/draw-stats.json"
