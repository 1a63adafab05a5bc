#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon's PNG sizes from its SVG into the hicolor tree beside it. The PNGs
# are committed, so only someone who changes the SVG runs this (it needs librsvg2-bin).
set -euo pipefail
icons="$(cd "$(dirname "$0")/.." && pwd)/window/resources/icons/hicolor"
command -v rsvg-convert >/dev/null || { echo "render-icons: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" "$icons/scalable/apps/pictavo.svg" \
    --output "$icons/${size}x${size}/apps/pictavo.png"
done
