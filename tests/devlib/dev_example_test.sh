#!/usr/bin/env bash
# Installs the format library's dev component into a temporary prefix and builds the example
# there from outside the tree: with find_package(Vok), with pkg-config, and into a shared object
# as a plug-in would link the library. Each build
# runs on a copy of a pack file: it must list the file's presets, and its saved file must hold
# them and the new preset with its data, as the vok tool reads them, while the file it read
# stays as it was.
#
# Usage: dev_example_test.sh BUILD_DIR EXAMPLES_DIR VOK_TOOL PACK_DIR VERSION
set -euo pipefail

build=${1:?usage: dev_example_test.sh BUILD_DIR EXAMPLES_DIR VOK_TOOL PACK_DIR VERSION}
examples=${2:?usage: dev_example_test.sh BUILD_DIR EXAMPLES_DIR VOK_TOOL PACK_DIR VERSION}
vok=${3:?usage: dev_example_test.sh BUILD_DIR EXAMPLES_DIR VOK_TOOL PACK_DIR VERSION}
pack_dir=${4:?usage: dev_example_test.sh BUILD_DIR EXAMPLES_DIR VOK_TOOL PACK_DIR VERSION}
version=${5:?usage: dev_example_test.sh BUILD_DIR EXAMPLES_DIR VOK_TOOL PACK_DIR VERSION}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" --component dev > "$work/install.log" \
    || { cat "$work/install.log"; echo "FAIL: the dev component did not install"; exit 1; }

# The input: a file of the pack, with the presets the pack gives it.
pack_file=$(find "$pack_dir" -maxdepth 1 -name '*.vok' | sort | head -n 1)
[ -n "$pack_file" ] || { echo "FAIL: no pack file in $pack_dir (the build makes them)"; exit 1; }
cp "$pack_file" "$work/input.vok"
"$vok" presets "$work/input.vok" > "$work/input-presets"
[ -s "$work/input-presets" ] || { echo "FAIL: $pack_file has no presets to list"; exit 1; }

# check_example NAME PROGRAM: PROGRAM adds NAME to the input as output-NAME.vok.
check_example() {
    local name=$1 program=$2 output="$work/output-$1.vok"
    local data="state of $name, <with> \"markup\" & ünïcode"

    "$program" "$work/input.vok" "$output" "$name" "$data" > "$work/listed" \
        || { fail "$name: the example failed"; return; }
    diff "$work/input-presets" "$work/listed" > /dev/null \
        || fail "$name: the example listed $(cat "$work/listed"), not the input's presets"
    diff <({ cat "$work/input-presets"; echo "$name"; } | sort) <("$vok" presets "$output" | sort) > /dev/null \
        || fail "$name: the saved file's presets are $("$vok" presets "$output" | tr '\n' ',')"
    [ "$("$vok" get-preset "$output" "$name")" = "$data" ] \
        || fail "$name: the new preset's data is $("$vok" get-preset "$output" "$name")"
    cmp -s "$work/input.vok" "$pack_file" || fail "$name: the example changed its input"
}

# With CMake: a debug build, which must still link the release archives.
if cmake -S "$examples" -B "$work/cmake-build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_PREFIX_PATH="$prefix" \
         > "$work/cmake.log" 2>&1 \
   && cmake --build "$work/cmake-build" >> "$work/cmake.log" 2>&1; then
    check_example "CMake preset" "$work/cmake-build/vok_presets_example"
else
    cat "$work/cmake.log"
    fail "the example did not build with find_package(Vok)"
fi

# With pkg-config.
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name vok.pc)")
[ "$(pkg-config --modversion vok)" = "$version" ] || fail "pkg-config gives vok's version as $(pkg-config --modversion vok), not $version"
# Every installed header compiles from the installation alone: the framework headers they
# include were installed with them.
(cd "$prefix/include/vok" && find impulse safeio -name '*.h' | sort | sed 's/.*/#include <&>/') > "$work/all-headers.cpp"
[ -s "$work/all-headers.cpp" ] || fail "no headers installed in $prefix/include/vok"
# shellcheck disable=SC2046  # the flags are separate words
c++ -std=c++17 -fsyntax-only $(pkg-config --cflags vok) "$work/all-headers.cpp" > "$work/headers.log" 2>&1 \
    || { cat "$work/headers.log"; fail "the installed headers don't compile on their own"; }

# shellcheck disable=SC2046  # the flags are separate words
if c++ -std=c++17 -o "$work/pkg-config-example" "$examples/vok_presets_example.cpp" \
       $(pkg-config --cflags --libs vok) > "$work/pkg-config.log" 2>&1; then
    check_example "pkg-config preset" "$work/pkg-config-example"
else
    cat "$work/pkg-config.log"
    fail "the example did not build with pkg-config --cflags --libs vok"
fi

# As a plug-in has it: linked into a shared object, which a running program loads and calls.
cat > "$work/run-shared-example" << 'END'
#!/usr/bin/env python3
import ctypes, sys
library = ctypes.CDLL(sys.argv[1])
arguments = [b"vok_presets_example"] + [argument.encode() for argument in sys.argv[2:]]
sys.exit(library.main(len(arguments), (ctypes.c_char_p * len(arguments))(*arguments)))
END
chmod +x "$work/run-shared-example"
# shellcheck disable=SC2046  # the flags are separate words
if c++ -std=c++17 -shared -fPIC -Wl,--no-undefined -o "$work/libexample.so" "$examples/vok_presets_example.cpp" \
       $(pkg-config --cflags --libs vok) > "$work/shared.log" 2>&1; then
    printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$work/run-shared-example" "$work/libexample.so" > "$work/shared-example"
    chmod +x "$work/shared-example"
    check_example "Shared object preset" "$work/shared-example"
else
    cat "$work/shared.log"
    fail "the example did not link into a shared object"
fi

[ "$failures" -eq 0 ] || exit 1
echo "The installed library builds the example with CMake, with pkg-config and as a shared object, and its presets come out right"
