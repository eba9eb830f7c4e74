#!/usr/bin/env bash
# The window's figures on the million-place file, under a virtual display that this script starts and
# stops: bench/window_figures.sh [BUILD] [PLACES.csv]. BUILD is a build with TAMRIK_BUILD_BENCH=ON
# (build-bench, as `make bench` makes it); PLACES.csv defaults to the benchmarks' generated file.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
places=${2:-/tmp/tamrik-bench/places.csv}
if [ ! -f "$places" ]; then
  echo "window_figures: $places is missing; bench_model or bench_search writes it on its first run" >&2
  exit 1
fi
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24" "$build/bench/window_figures" "$places"
