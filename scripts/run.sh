#!/bin/sh
# Sets up, builds and runs the batch job on a bundled example model.
# Usage: scripts/run.sh [MODEL.obj] [--square]
# The result files are written to ./run (created if missing).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/setup.sh"

BUILD="$ROOT/build"
# A compiler cache, when installed, makes rebuilds of unchanged sources cheap.
LAUNCHER=""
if command -v ccache >/dev/null 2>&1; then
    LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
cmake -S "$ROOT" -B "$BUILD" -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_BENCH=ON $LAUNCHER >/dev/null
cmake --build "$BUILD" --target tarnwick -j2

MODEL="${1:-$ROOT/examples/cube_net.obj}"
case "$MODEL" in /*) ;; *) MODEL="$PWD/$MODEL" ;; esac
[ $# -gt 0 ] && shift

mkdir -p "$ROOT/run"
cd "$ROOT/run"
# Batch runs draw their 3D snapshots offscreen; they need no display.
exec "$BUILD/tarnwick" "$MODEL" --batchmode "$@"
