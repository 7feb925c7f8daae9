#!/usr/bin/env bash
# The build targets that tests/windows/run-all.sh needs: both programs, the test programs of
# the format library and of the install engine, and the helper that holds a file open.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

echo vok vok_setup vok_hold_file
for area in impulse install; do
    sed -n -e 's/^[[:space:]]*add_executable(\([A-Za-z0-9_]*\).*/\1/p' "$root/tests/$area/CMakeLists.txt"
done
