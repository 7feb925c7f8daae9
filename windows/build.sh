#!/usr/bin/env bash
# Builds the project for 64-bit Windows in build-windows/: first the codec, image and
# test libraries (cached under build-windows/deps/) and the pack synthesiser for this
# machine (build-windows/host/), then the given targets (all of them when none is given).
# Every compiler runs at the lowest priority.
#
#   windows/build.sh [TARGET...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${VOK_WINDOWS_BUILD_DIR:-$root/build-windows}
jobs=${JOBS:-2}

started=$(date +%s)
prefix=$("$root/windows/build-deps.sh" "$build_dir/deps" | tail -n 1)
deps_done=$(date +%s)

# The pack synthesiser for this machine: the Windows program embeds the very bytes the
# Linux one does (under Wine, Windows' maths library would round differently).
host_dir=$build_dir/host
nice -n 19 cmake -S "$root" -B "$host_dir" -DCMAKE_BUILD_TYPE=Release > "$build_dir/host-configure.log" \
    || { cat "$build_dir/host-configure.log"; exit 1; }
nice -n 19 cmake --build "$host_dir" -j "$jobs" --target vok_make_pack > "$build_dir/host-build.log" \
    || { tail -n 40 "$build_dir/host-build.log"; exit 1; }
host_done=$(date +%s)

nice -n 19 cmake -S "$root" -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DVOK_WINDOWS_DEPS="$prefix" \
    -DVOK_HOST_MAKE_PACK="$host_dir/pack/vok_make_pack" \
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
echo "Windows build: libraries $(( deps_done - started )) s, host pack synthesiser $(( host_done - deps_done )) s, project $(( finished - host_done )) s"
