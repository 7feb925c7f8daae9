#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary folder, checks its contents
# and control fields, validates its desktop entry, then unpacks it into a temporary root and
# runs the unpacked programs there: their versions, vok's help and manual, and an installation
# of the pack, which the package carries once, inside the installer, into a temporary folder.
#
# Usage: package_test.sh BUILD_DIR VERSION [LIBRARY...]
#   (LIBRARY: a library the programs open by name while running, whose package the package
#   must depend on)
set -euo pipefail

build=${1:?usage: package_test.sh BUILD_DIR VERSION}
version=${2:?usage: package_test.sh BUILD_DIR VERSION [LIBRARY...]}
runtime_loaded=("${@:3}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate; do
    command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (make deps installs it)"; exit 1; }
done

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
deb="$work/out/vok-setup_${version}_$(dpkg --print-architecture).deb"
dev_deb="$work/out/libvok-dev_${version}_$(dpkg --print-architecture).deb"
for package in "$deb" "$dev_deb"; do
    [ -f "$package" ] || { ls "$work/out"; echo "FAIL: no $(basename "$package")"; exit 1; }
done

# Contents: the two programs, executable by everyone, their manual pages, vok's completion, the
# desktop entry and the icon; the only other entries are their folders, all owned by root.
dpkg-deb -c "$deb" > "$work/contents"
expected_files="./usr/bin/vok
./usr/bin/vok-setup
./usr/share/applications/vok-setup.desktop
./usr/share/bash-completion/completions/vok
./usr/share/icons/hicolor/256x256/apps/vok-setup.png
./usr/share/man/man1/vok-setup.1.gz
./usr/share/man/man1/vok.1.gz"
files=$(awk '$1 !~ /^d/ { print $6 }' "$work/contents" | sort)
[ "$files" = "$expected_files" ] || fail "the package holds $(echo $files), not $(echo $expected_files)"
for program in ./usr/bin/vok ./usr/bin/vok-setup; do
    grep -qE "^-rwxr-xr-x root/root .* $program\$" "$work/contents" || fail "$program is not a root-owned program for everyone"
done
awk '$2 != "root/root"' "$work/contents" | grep -q . && fail "entries not owned by root: $(awk '$2 != "root/root"' "$work/contents")"

# Control fields: name, the build's version, this machine's architecture, and dependencies
# worked out from the programs' libraries (with versions), plus X11, which is loaded at run time.
# The codecs and the C++ runtime are linked in, so no package of theirs is needed.
dpkg-deb -I "$deb" > "$work/info" || fail "dpkg-deb -I can't read the package"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vok-setup ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
depends=$(field Depends)
for dependency in 'libc6 (>= ' 'libfreetype6 (>= ' 'libx11-6' 'libxext6'; do
    [[ "$depends" == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
# No link names what the programs open by name, so nothing but the package's own Depends
# brings it in.
for library in "${runtime_loaded[@]}"; do
    owner=$(dpkg-query --search "*/$library" 2> /dev/null | sed -n '1s/[:,].*//p')
    [ -n "$owner" ] || { fail "$library, opened while running, belongs to no installed package"; continue; }
    [[ ", $depends," == *", $owner"[\ ,]* ]] || fail "Depends lacks $owner, which holds $library: $depends"
done
for linked_in in libflac libvorbis libogg libstdc++; do
    [[ "$depends" != *"$linked_in"* ]] || fail "Depends names $linked_in, which the programs link in: $depends"
done
[ -n "$(field Description)" ] || fail "no Description"

# The pack is in the package once: the package stays well under two copies' size.
size_mb=$(( $(stat -c %s "$deb") / 1000000 ))
[ "$size_mb" -le 55 ] || fail "the package is $size_mb MB, more than 55 MB"

# The desktop entry is valid and names what the package holds.
root="$work/root"
dpkg -x "$deb" "$root"
entry="$root/usr/share/applications/vok-setup.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the entry"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not a program of the package"
icon="$root/usr/share/icons/hicolor/256x256/apps/$icon_name.png"
[ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "Icon=$icon_name is not a PNG in the theme"
width=$((16#$(od -An -tx1 -j16 -N4 "$icon" | tr -d ' \n'))); height=$((16#$(od -An -tx1 -j20 -N4 "$icon" | tr -d ' \n')))
[ "$width" = 256 ] && [ "$height" = 256 ] || fail "the icon is ${width}x${height}, not the 256x256 its folder says"
ldd "$root/usr/bin/vok-setup" "$root/usr/bin/vok" | grep -q "not found" && fail "a library of the programs is missing"

# The unpacked programs run: their versions, vok's help and its manual, and an installation into
# a temporary folder, with HOME (the per-user settings) and the all-users settings file in
# temporary places too; vok takes the pack from the installer beside it.
[ "$("$root/usr/bin/vok" --version)" = "vok $version" ] || fail "vok --version says \"$("$root/usr/bin/vok" --version)\""
[ "$("$root/usr/bin/vok-setup" --version)" = "vok-setup $version" ] || fail "vok-setup --version does not give $version"
"$root/usr/bin/vok" --help > "$work/help" 2>&1 || fail "vok --help exits with $?"
grep -q "vok install" "$work/help" || fail "vok --help does not list install"
for page in vok vok-setup; do
    manual=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/$page.1.gz" 2> /dev/null | col -b) || fail "man can't show $page(1)"
    [[ "$manual" == *"$version"* ]] || fail "$page(1) does not give the version"
done
MANWIDTH=200 man -l "$root/usr/share/man/man1/vok.1.gz" 2> /dev/null | col -b | grep -q "vok install DIR" \
    || fail "vok(1) does not describe vok install"
target="$work/Impulses"
if HOME="$work/home" "$root/usr/bin/vok" install "$target" --common-settings "$work/common/VOK/VOK.settings" \
        > "$work/install.log" 2>&1; then
    [ "$(tail -n 1 "$work/install.log")" = "Installation successfully!" ] || fail "vok install did not end with success"
    count=$(find "$target" -maxdepth 1 -name '*.vok' | wc -l)
    packFiles=$(find "$build/pack/impulses" -maxdepth 1 -name '*.vok' | wc -l)
    [ "$count" = "$packFiles" ] || fail "vok install left $count impulse files, not the pack's $packFiles"
    grep -aqF "$target" "$work/home/.config/VOK/VOK.settings" || fail "the per-user settings in HOME do not hold the folder"
else
    cat "$work/install.log"
    fail "the unpacked vok install failed"
fi

# The development package: the archives, headers, CMake package and pkg-config file, and a
# program built against them as the README shows, which reads, lists, adds and saves.
dev_root="$work/dev-root"
dpkg -x "$dev_deb" "$dev_root"
[ "$(dpkg-deb -f "$dev_deb" Package)" = libvok-dev ] || fail "the development package is named $(dpkg-deb -f "$dev_deb" Package)"
for file in usr/include/vok/impulse/VOK_ImpulseFile.h usr/lib/cmake/Vok/VokConfig.cmake usr/lib/pkgconfig/vok.pc \
            usr/lib/libvok_impulse.a; do
    [ -f "$dev_root/$file" ] || fail "libvok-dev lacks /$file"
done
example="$(cd "$(dirname "$0")/../../examples" && pwd)/vok_presets_example.cpp"
# shellcheck disable=SC2046
if g++ -std=c++17 -o "$work/example" "$example" \
       $(PKG_CONFIG_PATH="$dev_root/usr/lib/pkgconfig" pkg-config --cflags --libs vok) > "$work/example.log" 2>&1; then
    cp "$build/pack/impulses/Living Room stereo.vok" "$work/room.vok"
    "$work/example" "$work/room.vok" "$work/saved.vok" "Sofa" "warm" > /dev/null 2>&1 || fail "the example built against libvok-dev failed"
    "$root/usr/bin/vok" presets "$work/saved.vok" 2> /dev/null | grep -qx "Sofa" || fail "the example's saved file lacks its preset"
else
    cat "$work/example.log"
    fail "the example does not build against libvok-dev"
fi

[ "$failures" = 0 ] || exit 1
echo "Packages $(basename "$deb") ($(du -h "$deb" | cut -f1)) and $(basename "$dev_deb"): contents, fields, desktop entry, the unpacked programs and a program built against the library are right."
