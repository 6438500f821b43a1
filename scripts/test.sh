#!/bin/sh
# Sets up, builds and runs every test: the plain build (with the window and
# the 3D view, under a virtual X server) and the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer, batch-only program).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/setup.sh"
JOBS="${JOBS:-2}"

cmake -S "$ROOT" -B "$ROOT/build" -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_BENCH=ON >/dev/null
cmake --build "$ROOT/build" -j"$JOBS"

cmake -S "$ROOT" -B "$ROOT/build-asan" -DTARNWICK_SANITIZE=ON -DTARNWICK_BUILD_GUI=OFF \
      -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_BENCH=OFF >/dev/null
cmake --build "$ROOT/build-asan" -j"$JOBS"

echo "== plain build =="
LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir "$ROOT/build" --output-on-failure -j"$JOBS"

echo "== sanitizer build =="
ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir "$ROOT/build-asan" --output-on-failure -j"$JOBS"
