#!/bin/sh
# Sets up, builds and runs every test: the plain build (with the window and
# the 3D view, under a virtual X server) and the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer, batch-only program).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/setup.sh"
JOBS="${JOBS:-2}"
# A compiler cache, when installed, makes rebuilds of unchanged sources cheap.
LAUNCHER=""
if command -v ccache >/dev/null 2>&1; then
    LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi

cmake -S "$ROOT" -B "$ROOT/build" -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_BENCH=ON $LAUNCHER >/dev/null
cmake --build "$ROOT/build" -j"$JOBS"

cmake -S "$ROOT" -B "$ROOT/build-asan" -DTARNWICK_SANITIZE=ON -DTARNWICK_BUILD_GUI=OFF \
      -DTARNWICK_BUILD_TESTS=ON -DTARNWICK_BUILD_BENCH=OFF $LAUNCHER >/dev/null
cmake --build "$ROOT/build-asan" -j"$JOBS"

# The suite runs with a fresh temporary folder of its own and fails when a
# test leaves anything behind in it.
SUITE_TMP=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-suite.XXXXXX")
RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-runtime.XXXXXX")
chmod 700 "$RUNTIME_DIR"
trap 'rm -rf "$SUITE_TMP" "$RUNTIME_DIR"' EXIT
export TMPDIR="$SUITE_TMP" XDG_RUNTIME_DIR="$RUNTIME_DIR"

echo "== plain build =="
LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir "$ROOT/build" --output-on-failure -j"$JOBS"

echo "== sanitizer build =="
# The leak checker does not scan thread-local storage: its tracking of the
# blocks of dynamically loaded libraries crashes it on this system. What
# libraries hold only through thread-local pointers is listed as suppressed.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="use_tls=0:suppressions=$ROOT/tests/lsan_suppressions.txt" \
    ctest --test-dir "$ROOT/build-asan" --output-on-failure -j"$JOBS"

left=$(ls -A "$SUITE_TMP")
if [ -n "$left" ]; then
    echo "Tests left files in the temporary folder:" >&2
    echo "$left" >&2
    exit 1
fi
echo "All tests passed; nothing left in the temporary folder."
