#!/usr/bin/env bash
# Makes the fresh Wine prefix that each Windows end-to-end test starts from a copy of: made
# once a run, since Wine takes far longer to make a prefix than to copy one.
#
# Usage: make-wine-prefix.sh TEMPLATE_DIR   (the prefix goes to TEMPLATE_DIR/prefix)
set -uo pipefail

template=${1:?usage: make-wine-prefix.sh TEMPLATE_DIR}
for tool in wineboot wineserver; do
    command -v "$tool" > /dev/null || { echo "skipped: missing $tool; make windows-deps installs Wine"; exit 77; }
done

rm -rf "$template"
mkdir -p "$template/home"
export WINEPREFIX=$template/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME=$template/home

started=$(date +%s)
if ! wineboot -i > "$template/wineboot.log" 2>&1 || ! wineserver -w; then
    cat "$template/wineboot.log"
    echo "Could not create a Wine prefix in $WINEPREFIX (wineboot's log above); it needs the Wine that make windows-deps installs"
    exit 1
fi
# Wine links the user's Documents, Desktop and the like to the home it was made with, which
# every copy of the prefix would then share: each becomes a folder of the prefix's own.
for folder in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$folder" ] && [ "$(readlink "$folder")" = "$HOME" ]; then
        rm "$folder" && mkdir "$folder" || exit 1
    fi
done
echo "Fresh Wine prefix: $(( $(date +%s) - started )) s"
