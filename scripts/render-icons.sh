#!/usr/bin/env bash
# Renders the program's icon drawing into the PNG sizes that are committed
# beside it. Run after changing ui/icons/talvora.svg.
set -euo pipefail
cd "$(dirname "$0")/../ui/icons"
command -v rsvg-convert >/dev/null || apt-get install -y -qq librsvg2-bin
for size in 16 32 48; do
  rsvg-convert -w "$size" -h "$size" talvora.svg -o "talvora-$size.png"
done
