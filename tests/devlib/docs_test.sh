#!/usr/bin/env bash
# Writes the library's reference (the build's Doxyfile) into a temporary folder: it fails when a
# public function of the installed headers has no comment, or a comment is malformed. Doxygen
# checks a header's free functions only when the header is documented, so every header in the
# folders given must have its @file comment.
#
# Usage: docs_test.sh DOXYFILE HEADER_FOLDER...
set -euo pipefail

doxyfile=${1:?usage: docs_test.sh DOXYFILE HEADER_FOLDER...}
header_folders=("${@:2}")
command -v doxygen > /dev/null || { echo "skipped: no doxygen"; exit 77; }

undocumented_headers=$(find "${header_folders[@]}" -name '*.h' -exec grep -L '@file' {} +)
[ -z "$undocumented_headers" ] || { echo "FAIL: headers without an @file comment: $undocumented_headers"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The build's settings, with the output moved here (a later setting overrides an earlier one).
if ! { cat "$doxyfile"; echo "OUTPUT_DIRECTORY = $work"; } | doxygen - > "$work/doxygen.log" 2>&1; then
    cat "$work/doxygen.log"
    echo "FAIL: the reference has warnings (every public function needs its comment)"
    exit 1
fi
[ -f "$work/html/index.html" ] || { echo "FAIL: doxygen wrote no html/index.html"; exit 1; }
echo "The reference is complete"
