#!/usr/bin/env bash
# Cross-builds, as static Windows libraries, the codec and image libraries that the
# framework links (libpng, libjpeg-turbo, libogg, libvorbis, FLAC) and expat from Debian's own
# source packages, and GoogleTest from the machine's /usr/src/googletest. zlib comes
# ready-made from libz-mingw-w64-dev.
#
#   windows/build-deps.sh DEPS_DIR
#
# Each library is built from the source revision that windows/fetch-sources.sh chose for
# the installed one (the installed revision, or the nearest one the mirror still serves);
# the choice is remembered in DEPS_DIR/chosen/, so later runs need no network. The
# libraries go into DEPS_DIR/<key>/prefix, where the key covers the chosen revisions and
# this recipe: a second run with the same versions builds nothing. The prefix's path is
# the last line printed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
deps_dir=$(mkdir -p "$1" && cd "$1" && pwd)
jobs=${JOBS:-2}
triplet=x86_64-w64-mingw32
toolchain=$here/../cmake/mingw-w64-x86_64.cmake
mingw_root=/usr/$triplet

# Debian's development package of each library, for the source version to build: the
# Windows build then uses the same library versions as the Linux one.
dev_packages="libpng-dev libjpeg-dev libogg-dev libvorbis-dev libflac-dev libexpat1-dev libgtest-dev"

source_of() {
    local source
    source=$(dpkg-query -W -f='${db:Status-Status} ${source:Package}=${source:Version}\n' "$1" 2>/dev/null \
             | awk '$1 == "installed" { print $2 }')
    if [ -z "$source" ]; then
        echo "$1 is not installed: run 'make deps' first (it brings the Linux build's libraries)." >&2
        exit 1
    fi
    echo "$source"
}

log() { echo "[windows deps] $*" >&2; }

installed=()
for p in $dev_packages; do
    installed+=("$(source_of "$p")")
done

# GoogleTest is built from the machine's own copy; the others from Debian's sources.
to_fetch=()
for s in "${installed[@]}"; do
    [ "${s%%=*}" = googletest ] || to_fetch+=("$s")
done

downloads=$deps_dir/downloads
chosen=$deps_dir/chosen/$(printf '%s\n' "${to_fetch[@]}" | sha1sum | cut -c1-12)

# A remembered choice holds while its downloads are there.
choice_usable() {
    local s name
    [ -s "$chosen" ] || return 1
    while read -r s; do
        name=${s%%=*}
        [ -e "$downloads/${name}_$(dsc_version "${s#*=}").dsc" ] || return 1
    done < "$chosen"
}

dsc_version() { echo "${1#*:}"; }  # a source file's name leaves out the epoch

if ! choice_usable; then
    mkdir -p "$downloads" "$(dirname "$chosen")"
    (cd "$downloads" && "$here/fetch-sources.sh" "$deps_dir/apt" "${to_fetch[@]}") > "$chosen.new" \
        || { rm -f "$chosen.new"; exit 1; }
    mv "$chosen.new" "$chosen"
fi

sources=()
mapfile -t sources < "$chosen"
for s in "${installed[@]}"; do
    [ "${s%%=*}" = googletest ] && sources+=("$s")
done
log "sources: ${sources[*]}"

key=$( { printf '%s\n' "${sources[@]}"; cat "$0" "$toolchain"; } | sha1sum | cut -c1-12)
work=$deps_dir/$key
prefix=$work/prefix
mkdir -p "$work/src" "$work/build" "$work/logs" "$prefix/.built"

# Runs a build step quietly at the lowest priority, showing its log only if it fails.
run_logged() {
    local name=$1
    shift
    if ! nice -n 19 "$@" >> "$work/logs/$name.log" 2>&1; then
        tail -n 40 "$work/logs/$name.log" >&2
        log "$name failed; whole log: $work/logs/$name.log"
        exit 1
    fi
}

version_of() {
    local s
    for s in "${sources[@]}"; do
        [ "${s%%=*}" = "$1" ] && { echo "${s#*=}"; return; }
    done
    return 1
}

# Unpacks Debian's source package (Debian's patches applied) and prints its folder.
unpack() {
    local name=$1 version tree
    version=$(version_of "$name")
    tree=$work/src/$name
    if [ ! -d "$tree" ]; then
        # Beside the final place first: an interrupted unpacking is never taken for a whole one.
        rm -rf "$tree.partial"
        run_logged "$name" dpkg-source -x "$downloads/${name}_$(dsc_version "$version").dsc" "$tree.partial"
        mv "$tree.partial" "$tree"
    fi
    echo "$tree"
}

cmake_build() {
    local name=$1 tree=$2
    shift 2
    rm -rf "$work/build/$name"
    run_logged "$name" cmake -S "$tree" -B "$work/build/$name" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVOK_WINDOWS_DEPS="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_INSTALL_LIBDIR=lib "$@"
    run_logged "$name" cmake --build "$work/build/$name" -j "$jobs"
    run_logged "$name" cmake --install "$work/build/$name"
}

autotools_build() {
    local name=$1 tree=$2
    shift 2
    rm -rf "$work/build/$name"
    mkdir -p "$work/build/$name"
    (
        cd "$work/build/$name"
        export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig:$mingw_root/lib/pkgconfig
        export CC=$triplet-gcc-posix
        run_logged "$name" "$tree/configure" --host=$triplet --prefix="$prefix" \
            --disable-shared --enable-static "$@"
        run_logged "$name" make -j "$jobs"
        run_logged "$name" make install
    )
}

build_libpng() {
    local tree
    tree=$(unpack libpng1.6)
    cmake_build libpng1.6 "$tree" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_INCLUDE_DIR=$mingw_root/include -DZLIB_LIBRARY=$mingw_root/lib/libz.a
}

build_libjpeg_turbo() {
    local tree
    tree=$(unpack libjpeg-turbo)
    # An absolute library folder: libjpeg-turbo takes a relative one from the working folder.
    cmake_build libjpeg-turbo "$tree" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
    # The framework's loader is compiled with JPEG_INTERNALS, which reads jpegint.h...
    cp "$tree/jpegint.h" "$prefix/include/"
    # ...and names jpeglib's boolean, which jconfig.h hides once rpcndr.h has been read.
    sed -i -e '/^#ifndef __RPCNDR_H__/{N;N;s/^#ifndef __RPCNDR_H__[^\n]*\n\(typedef unsigned char boolean;\)\n#endif/\1/}' \
        "$prefix/include/jconfig.h"
    grep -q '^typedef unsigned char boolean;' "$prefix/include/jconfig.h" \
        || { log "jconfig.h: the boolean typedef was not made unconditional"; exit 1; }
}

build_libogg() {
    local tree
    tree=$(unpack libogg)
    autotools_build libogg "$tree"
}

build_libvorbis() {
    local tree
    tree=$(unpack libvorbis)
    autotools_build libvorbis "$tree" --with-ogg="$prefix" --disable-docs --disable-examples
}

# CMake rather than configure: Debian's patches touch the automake inputs.
build_flac() {
    local tree
    tree=$(unpack flac)
    cmake_build flac "$tree" \
        -DBUILD_SHARED_LIBS=OFF -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_OGG=OFF \
        -DWITH_STACK_PROTECTOR=OFF
}

build_expat() {
    local tree
    tree=$(unpack expat)
    # Debian's source package holds the library in its expat/ folder.
    [ -f "$tree/CMakeLists.txt" ] || tree=$tree/expat
    # Without DTD support: the parser refuses document types anyway, and Debian's patches test
    # XML_DTD == 1, which the CMake configuration defines empty.
    cmake_build expat "$tree" \
        -DEXPAT_DTD=OFF -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_FUZZERS=OFF \
        -DEXPAT_MSVC_STATIC_CRT=OFF
}

build_googletest() {
    cmake_build googletest /usr/src/googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

started=$(date +%s)
for step in libpng libjpeg_turbo libogg libvorbis flac expat googletest; do
    if [ ! -e "$prefix/.built/$step" ]; then
        log "building $step"
        step_start=$(date +%s)
        "build_$step"
        touch "$prefix/.built/$step"
        log "$step took $(( $(date +%s) - step_start )) s"
    fi
done
# Prefixes of other versions are out of date.
for old in "$deps_dir"/*/prefix; do
    [ "$old" = "$prefix" ] || [ ! -d "$old" ] || rm -rf "$(dirname "$old")"
done
log "libraries ready in $prefix ($(( $(date +%s) - started )) s)"
echo "$prefix"
