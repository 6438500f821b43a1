#!/bin/sh
# Line coverage of src/ by the whole test suite: builds build-coverage/ with
# gcc's coverage instrumentation, runs every test (the window tests under a
# virtual X server) and prints gcovr's summary for src/.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/setup.sh" gcovr
BUILD="$ROOT/build-coverage"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="--coverage -O0" \
      -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}"
find "$BUILD" -name '*.gcda' -delete
LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir "$BUILD" -j"${JOBS:-2}" --output-on-failure >/dev/null || true
gcovr -r "$ROOT" --object-directory "$BUILD" --filter "$ROOT/src/" --print-summary -o /dev/null
