#!/usr/bin/env bash
# Renders the program's icon, org.orvex.navigator.svg, into the PNG sizes that desktops look
# for, as NxN/org.orvex.navigator.png beside this script. Run it after changing the SVG and
# commit the PNGs; scripts/package.sh check renders them again and fails when they differ.
#
#   packaging/icons/render.sh [OUTPUT_DIR]     (needs rsvg-convert: apt-get install librsvg2-bin)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here}
svg=$here/org.orvex.navigator.svg
command -v rsvg-convert >/dev/null || {
    echo "render.sh: rsvg-convert not found (apt-get install librsvg2-bin)" >&2
    exit 1
}
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "$out/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png "$svg" \
        --output "$out/${size}x${size}/org.orvex.navigator.png"
done
