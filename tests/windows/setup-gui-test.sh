#!/usr/bin/env bash
# The real "VOK Setup.exe" driven with xdotool on the X display named by DISPLAY: agree,
# install into the folder it proposes without settings files ("VOK Impulses" in the user's
# Documents), the "Installation successfully!" box, close.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"
requireTools xdotool import

if "$here/drive-setup.sh" "$setupExe" "$shots" "$work" success; then
    pass "VOK Setup.exe: agree, install, \"Installation successfully!\", close"
else
    fail "VOK Setup.exe run (see above)"
fi
checkPack "$(unixPath "$defaultWin")" "VOK Setup.exe into the default folder"
checkSettings "$defaultWin" "VOK Setup.exe"
finishSession
