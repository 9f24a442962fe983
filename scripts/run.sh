#!/usr/bin/env bash
# The main job on this machine: build the plug-in DLL and run it in the stand-in host under Wine
# for a few seconds, with the wall's data folder staged under test-output/demo. Prints where the
# PNG frames went, the draw slot's time per frame beside an empty draw's, and the pipeline-state check.
#   LUMVO_DEMO_SECONDS   how long to run (default 5)
#   LUMVO_DEMO_FPS       frame rate (default 30); one frame a second is kept as PNG
set -euo pipefail
source "$(dirname "$0")/lib/common.sh"
source "$ROOT/scripts/lib/wine-env.sh"

seconds="${LUMVO_DEMO_SECONDS:-5}"
fps="${LUMVO_DEMO_FPS:-30}"

"$ROOT/scripts/build.sh" cross
BIN="$BUILD/cross/bin"

# A fresh per-user data folder, with the brand images where the plug-in looks for them.
DEMO="$OUTPUT/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/localappdata/LUMVO/video-wall/web/brand" "$DEMO/frames"
shopt -s nullglob
brand=("$ROOT"/wall/web/brand/*.png)
shopt -u nullglob
[ ${#brand[@]} -gt 0 ] && cp "${brand[@]}" "$DEMO/localappdata/LUMVO/video-wall/web/brand/"

wine_env_start
say "run: the stand-in host draws ${seconds}s at ${fps} fps (1920x1080)"
set +e
WINE_RUN_TIMEOUT=600 wine_run "$BIN/lumvo-standin-host.exe" --data "$(wine_path "$DEMO/localappdata")" \
  --seconds "$seconds" --fps "$fps" --png-every "$fps" --out "$(wine_path "$DEMO/frames")" >"$DEMO/standin-host.log"
status=$?
set -e
if [ "$status" -ne 0 ]; then
  cat "$DEMO/standin-host.log"
  die "the stand-in host failed (exit $status)"
fi
grep -E '^(plug-in: "|draw slot|empty draw:|state check:|machine:)' "$DEMO/standin-host.log" || true
count=$(find "$DEMO/frames" -name 'frame-*.png' | wc -l)
say "run: $count PNG frames in $DEMO/frames"
say "run: draw-time statistics in $DEMO/frames/draw-stats.json; the host's log in $DEMO/standin-host.log"
