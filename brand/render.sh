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
