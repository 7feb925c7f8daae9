#!/usr/bin/env bash
# Builds the project for 64-bit Windows in build-windows/: first the codec, image and
# test libraries (cached under build-windows/deps/), then the given targets (all of
# them when none is given). Every compiler runs at the lowest priority.
#
#   windows/build.sh [TARGET...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${VOK_WINDOWS_BUILD_DIR:-$root/build-windows}
jobs=${JOBS:-2}

started=$(date +%s)
prefix=$("$root/windows/build-deps.sh" "$build_dir/deps" | tail -n 1)
deps_done=$(date +%s)

nice -n 19 cmake -S "$root" -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DVOK_WINDOWS_DEPS="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/tests/windows/wine-run.sh" \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST > "$build_dir/configure.log" \
    || { cat "$build_dir/configure.log"; exit 1; }

targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
nice -n 19 cmake --build "$build_dir" -j "$jobs" "${targets[@]}"

finished=$(date +%s)
echo "Windows build: libraries $(( deps_done - started )) s, project $(( finished - deps_done )) s"
