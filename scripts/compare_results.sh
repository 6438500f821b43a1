#!/bin/bash
# Runs two tarnwick binaries in batch mode on the same models, each in its own
# temporary folder, and compares every file they write plus their console
# output. Only the time figures ("boxifyTime" and the "Took" lines) are masked.
#
#   scripts/compare_results.sh REFERENCE CANDIDATE [MESHGEN] [-- EXTRA ARGS]
#
# REFERENCE and CANDIDATE are tarnwick binaries; MESHGEN (default: the
# tarnwick-meshgen next to CANDIDATE's build) generates the extra models.
# Extra arguments after "--" are passed to CANDIDATE only (e.g. --threads 1).
# Set MODELS to a space-separated list of OBJ files to replace the default set
# (every bundled example and a few generated models).
# Exit status 0 when every result matches, 1 otherwise.
set -u
here="$(cd "$(dirname "$0")/.." && pwd)"
ref="$(realpath "$1")"
new="$(realpath "$2")"
shift 2
meshgen="$(dirname "$new")/tools/tarnwick-meshgen"
if [ $# -gt 0 ] && [ "$1" != "--" ]; then meshgen="$(realpath "$1")"; shift; fi
extra=()
if [ $# -gt 0 ] && [ "$1" = "--" ]; then shift; extra=("$@"); fi

work="$(mktemp -d "${TMPDIR:-/tmp}/tarnwick_compare.XXXXXX")"
trap 'rm -rf "$work"' EXIT

models=()
if [ -n "${MODELS:-}" ]; then
    for m in $MODELS; do models+=("$(realpath "$m")"); done
else
    for m in "$here"/examples/*.obj; do models+=("$m"); done
    mkdir -p "$work/gen"
    "$meshgen" folded "$work/gen/folded_many.obj" --segments 1440 --folds 12 >/dev/null &&
        models+=("$work/gen/folded_many.obj")
    "$meshgen" cube "$work/gen/cube_colors.obj" --n 14 --colors >/dev/null &&
        models+=("$work/gen/cube_colors.obj")
    "$meshgen" cylinder "$work/gen/cylinder_long.obj" --segments 64 --rings 40 >/dev/null &&
        models+=("$work/gen/cylinder_long.obj")
fi

mask() {
    sed -E -e 's/("boxifyTime":)[^,}]*/\1T/g' -e 's/Took [-+0-9.eE]+s/Took Ts/g' "$1"
}

status=0
for model in "${models[@]}"; do
    name="$(basename "$model" .obj)"
    a="$work/$name/ref" b="$work/$name/new"
    mkdir -p "$a" "$b"
    cp "$model" "$a/model.obj"
    cp "$model" "$b/model.obj"
    start=$(date +%s.%N)
    (cd "$a" && "$ref" model.obj --batchmode >stdout.txt 2>stderr.txt; echo $? >exit.txt) &
    (cd "$b" && "$new" model.obj --batchmode "${extra[@]}" >stdout.txt 2>stderr.txt; echo $? >exit.txt) &
    wait
    end=$(date +%s.%N)
    bad=0
    files="$( (cd "$a" && ls; cd "$b" && ls) | sort -u)"
    for f in $files; do
        if [ ! -e "$a/$f" ] || [ ! -e "$b/$f" ]; then
            echo "  $name: $f written by only one binary"
            bad=1
            continue
        fi
        case "$f" in
            *.png) cmp -s "$a/$f" "$b/$f" || { echo "  $name: $f differs"; bad=1; } ;;
            *) if ! diff -q <(mask "$a/$f") <(mask "$b/$f") >/dev/null; then
                   echo "  $name: $f differs"
                   diff <(mask "$a/$f") <(mask "$b/$f") | head -5 | sed 's/^/      /'
                   bad=1
               fi ;;
        esac
    done
    printf '%-24s %3d files  %6.1fs  %s\n' "$name" "$(echo "$files" | wc -w)" \
        "$(echo "$end - $start" | bc)" "$([ $bad = 0 ] && echo identical || echo DIFFERENT)"
    [ $bad = 0 ] || status=1
done
exit $status
