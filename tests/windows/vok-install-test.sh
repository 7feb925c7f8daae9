#!/usr/bin/env bash
# "vok.exe install" into a Windows path: the pack's files, byte for byte, and both settings
# files in the Windows application-data folders; then into a folder whose name is not ASCII.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"

targetWin='C:\VOK Test\Impulses'
if installWithTool "$targetWin"; then
    checkPack "$(unixPath "$targetWin")" "vok.exe install"
    checkSettings "$targetWin" "vok.exe install"
fi

# A folder whose name is not ASCII, as many users' own folders are: Windows hands the tool
# its arguments as UTF-16, so the name must arrive as it was typed.
umlautWin='C:\VOK Test\Jürgen'
LC_ALL=C.UTF-8 wine "$vokExe" install "$umlautWin" > "$work/umlaut.out" 2> "$work/umlaut.err"
rc=$?
if [ $rc = 0 ] && [ -d "$(LC_ALL=C.UTF-8 unixPath "$umlautWin")" ]; then
    checkPack "$(LC_ALL=C.UTF-8 unixPath "$umlautWin")" "vok.exe install \"$umlautWin\""
else
    fail "vok.exe install \"$umlautWin\" exited with $rc: $(cat "$work/umlaut.err")"
fi
finishSession
