#!/usr/bin/env bash
# Both programs are linked statically: each imports only DLLs that Windows itself has (those
# that Wine provides in system32), never the MinGW runtime's.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"
requireTools x86_64-w64-mingw32-objdump

systemDlls=$(ls "$WINEPREFIX/drive_c/windows/system32")
for exe in "$vokExe" "$setupExe"; do
    foreign=()
    for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }'); do
        grep -qixF "$dll" <<< "$systemDlls" || foreign+=("$dll")
    done
    if [ ${#foreign[@]} = 0 ] && [ -s "$exe" ]; then
        pass "$(basename "$exe") imports only Windows' own DLLs"
    else
        fail "$(basename "$exe") imports DLLs that Windows lacks: ${foreign[*]}"
    fi
done
finishSession
