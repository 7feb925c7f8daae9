#!/usr/bin/env bash
# Regenerates app/artwork/banner.jpg, logo.png, icon.ico and icon.png from the drawing code
# beside this script. Usage: make-artwork.sh BUILD_DIR  (the build folder of a configured tree).
# Needs jpegtran (Debian: libjpeg-turbo-progs); it makes the banner progressive without
# re-encoding it, so the output is the same on every run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: make-artwork.sh BUILD_DIR}"

cmake --build "$build" -j2 --target vok_make_artwork
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

"$build/app/artwork/vok_make_artwork" "$tmp"
jpegtran -progressive -optimize -copy none -outfile "$here/banner.jpg" "$tmp/banner-baseline.jpg"
for f in logo.png icon.ico icon.png; do
    cp "$tmp/$f" "$here/$f"
done
for f in banner.jpg logo.png icon.ico icon.png; do
    echo "Wrote $here/$f ($(stat -c %s "$here/$f") bytes)"
done
