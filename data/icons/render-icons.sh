#!/usr/bin/env bash
# Redraws the committed PNG icons from twinspotter.svg at the hicolor theme's usual sizes. Run it after changing
# the SVG and commit what it writes; the build itself needs no SVG renderer. Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" twinspotter.svg --output "png/twinspotter-$size.png"
done
