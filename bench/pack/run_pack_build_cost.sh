#!/usr/bin/env bash
# What the pack costs the build: generating the 24 files (limit 30 s) and assembling them
# into the embedded set (limit 15 s), each timed on its own, best of three.
#   run_pack_build_cost.sh BUILD_DIR
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
generator="$build_dir/pack/vok_make_pack"
embedded_object="$build_dir/install/embedded/CMakeFiles/vok_embedded_set.dir/EmbeddedImpulseData.S.o"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ ! -x "$generator" ] || [ ! -e "$embedded_object" ]; then
    echo "Build the pack first (targets vok_make_pack and vok_embedded_set in $build_dir)."
    exit 1
fi

best() { sort -n | head -1; }
seconds_of() { local start end; start=$(date +%s.%N); "$@" > /dev/null; end=$(date +%s.%N); awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'; }

generation=$(for run in 1 2 3; do seconds_of "$generator" "$source_dir/pack/rooms.json" "$work/run$run"; done | best)
embedding=$(for run in 1 2 3; do rm -f "$embedded_object"; seconds_of cmake --build "$build_dir" --target vok_embedded_set -j2; done | best)

status=0
report() {
    local what=$1 took=$2 limit=$3
    if awk -v t="$took" -v l="$limit" 'BEGIN { exit !(t <= l) }'; then verdict=ok; else verdict="OVER THE LIMIT"; status=1; fi
    printf '%-40s %6.2f s  (limit %d s)  %s\n' "$what" "$took" "$limit" "$verdict"
}
report "pack generation (24 files)" "$generation" 30
report "embedding (assemble + archive)" "$embedding" 15
printf '%-40s %6d bytes\n' "embedded set object" "$(stat -c %s "$embedded_object")"
exit $status
