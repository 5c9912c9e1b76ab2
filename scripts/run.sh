#!/usr/bin/env bash
# Set up, build and show Ystrelo. Paints consecutive views of the endless zoom with the
# command-line renderer and names the PNG files it wrote; on a desktop it then also
# shows the zoom in a window of its own through the preview mode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
ninja -C build ystrelo ystrelo-render

out="$root/out/run"
mkdir -p "$out"
echo "== Painting 6 views of the endless zoom into $out"
./build/ystrelo-render --size 960x540 --views 6 --colours magenta,aqua,yellow \
    --bands 32 --max-age 10000 --out "$out"
echo "Pictures written: $(ls "$out"/view-*.png | tr '\n' ' ')"
