#!/usr/bin/env bash
# Renders the brand images from their SVG sources into the wall files' brand folder, and puts
# the mark's SVG beside them for the web pages.
# Needs rsvg-convert (Debian librsvg2-bin, installed by scripts/setup.sh) and the DejaVu fonts.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$here/../wall/web/brand"
mkdir -p "$out"
rsvg-convert -w 256 -h 256 "$here/lumvo-mark.svg" -o "$out/lumvo-mark.png"
# The pages show the mark as the SVG itself: a few hundred bytes instead of the PNG.
cp "$here/lumvo-mark.svg" "$out/lumvo-mark.svg"
rsvg-convert -w 960 -h 320 "$here/lumvo-logo-wordmark.svg" -o "$out/lumvo-logo-wordmark.png"
echo "brand images written to $out"

# The installer's side picture (welcome and finish pages) and the setup program's icon, committed in
# brand/installer/ for scripts/package.sh.
node="$here/../.deps/node-linux/bin/node"
installer="$here/installer"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$installer"
rsvg-convert "$here/installer-wizard.svg" -o "$work/wizard.png"
"$node" "$here/installer-images.mjs" wizard "$work/wizard.png" "$installer/wizard.bmp"
for size in 16 24 32 48; do rsvg-convert -w $size -h $size "$here/lumvo-mark.svg" -o "$work/mark-$size.png"; done
"$node" "$here/installer-images.mjs" icon "$installer/lumvo.ico" "$work"/mark-{16,24,32,48}.png
echo "installer images written to $installer"
