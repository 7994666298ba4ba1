#!/usr/bin/env bash
# Renders the programs' icons into the hicolor PNG sizes (needs rsvg-convert, librsvg2-bin).
# The PNGs are kept in the tree, so building needs no renderer; run this after editing an SVG.
set -euo pipefail
cd "$(dirname "$0")"
for svg in *.svg; do
    for size in 16 22 24 32 48 64 128 256; do
        mkdir -p "hicolor/${size}x${size}/apps"
        rsvg-convert -w "$size" -h "$size" "$svg" -o "hicolor/${size}x${size}/apps/${svg%.svg}.png"
    done
done
