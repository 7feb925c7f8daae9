#!/usr/bin/env bash
# "VOK Setup.exe" over an installed file that a second Wine process holds open, on the X
# display named by DISPLAY: warning boxes, the user's preset kept in the backup, and the next
# installation (file released) carries it into the new file.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"
requireTools xdotool import

# Installed as the installer would have: its settings then propose this folder.
installWithUserPreset "$defaultWin"

cp "$held" "$work/before.vok"
if holdOpen "$heldWin"; then
    if "$here/drive-setup.sh" "$setupExe" "$shots" "$work" failure; then
        pass "VOK Setup.exe over a held-open target: the run stops with a warning box, then \"Installation aborted\""
    else
        fail "VOK Setup.exe over a held-open target (see above)"
    fi
    checkBackup "$held" "$work/before.vok" "VOK Setup.exe over a held-open target"
    releaseFile
fi
checkMergedAfterRelease "$defaultWin" "$heldWin" "$held" "VOK Setup.exe"
finishSession
