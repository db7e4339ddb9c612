#!/usr/bin/env bash
# Renders the program's icon into the PNG sizes of the hicolor theme:
#   tools/icons/render_icons.sh        (writes data/icons/hicolor/NxN/apps/orvalis.png)
# The sizes up to 24 come from orvalis-small.svg, drawn on a 16-pixel grid so its lines fall on
# whole pixels; the larger ones from orvalis.svg. The PNGs are committed, so a build needs no
# renderer; run this again after changing either drawing. Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../../data/icons"
for size in 16 22 24 32 48 64 128 256; do
  source=orvalis.svg
  if [ "$size" -le 24 ]; then source=orvalis-small.svg; fi
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --keep-aspect-ratio "$source" \
    --output "hicolor/${size}x${size}/apps/orvalis.png"
done
echo "icons written under $(pwd)/hicolor"
