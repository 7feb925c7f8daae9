#!/usr/bin/env bash
# "vok.exe install" over a target file that a second Wine process holds open: the
# installation stops with "Can't overwrite " + path and the retry advice, the user's preset
# survives in the backup, and the next installation (file released) carries it into the new file.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"

targetWin='C:\VOK Test\Impulses'
installWithUserPreset "$targetWin"

cp "$held" "$work/before.vok"
if holdOpen "$heldWin"; then
    wine "$vokExe" install "$targetWin" > "$work/held.out" 2> "$work/held.err"
    rc=$?
    expectedBox=$(printf "Can't overwrite %s\nClose all other audio applications and try the installation again!" "$heldWin")
    if [ $rc != 0 ] && [ "$(tr -d '\r' < "$work/held.err" | head -n 2)" = "$expectedBox" ]; then
        pass "vok.exe over a held-open target: stops with \"Can't overwrite $heldWin\" and the retry advice"
    else
        fail "vok.exe over a held-open target: exit code $rc, boxes: $(cat "$work/held.err")"
    fi
    checkBackup "$held" "$work/before.vok" "vok.exe over a held-open target"
    releaseFile
fi
checkMergedAfterRelease "$targetWin" "$heldWin" "$held" "vok.exe"
finishSession
