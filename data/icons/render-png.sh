#!/usr/bin/env bash
# Renders the PNG sizes of the icon from its SVG (the PNGs are committed, so building needs
# neither this script nor rsvg-convert, from Debian's librsvg2-bin). Run it after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/hicolor"
for size in 16 32 48 128 256; do
    mkdir -p "${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" scalable/apps/org.kelvoimage.viewer.svg \
        -o "${size}x${size}/apps/org.kelvoimage.viewer.png"
done
