#!/usr/bin/env bash
# Builds the native targets and renders the bundled sample picture through the
# command-line host: out/sample-transform.png and out/sample-coloradjust.png,
# and a generated clip through ZoomAndMove: out/sample-zoom.mp4.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc 2>/dev/null || echo 2)"
mkdir -p out
vexfx=build/native/host/vexfx/vexfx
"$vexfx" list
"$vexfx" render VXETransform pack/samples/sample.png out/sample-transform.png \
  --set "1. effect=rotate" --set "1. amount=25" --set "2. effect=zoom" --set "2. amount=-20"
"$vexfx" render VXEColorAdjust pack/samples/sample.png out/sample-coloradjust.png \
  --set "Contrast=140" --set "Color intensity=160" --set "Gamma blue=1.6"
python3 scripts/make-test-video.py out/sample-clip.avi 320 240 50
"$vexfx" video VXEZoomAndMove out/sample-clip.avi out/sample-zoom.mp4 \
  --set "Zoom (end)=2.5" --set "Left margin (end)=30" --set "Top margin (end)=20"
echo "written: out/sample-transform.png out/sample-coloradjust.png out/sample-zoom.mp4"
