#!/usr/bin/env bash
# A user settings file that can't be read in full: "vok.exe install" says so in its log,
# leaves the file with its bytes and installs the pack all the same.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"

userSettings=$(unixPath "$appData\\VOK\\VOK.settings")
mkdir -p "$(dirname "$userSettings")"
printf 'PROP\377\377\377\377WINDOW_SIZE\000800 600\000' > "$userSettings"
cp "$userSettings" "$work/junk.settings"

junkWin='C:\VOK Test\Beside Junk Settings'
wine "$vokExe" install "$junkWin" > "$work/junk.out" 2> "$work/junk.err"
rc=$?
installedFiles=$(find "$(unixPath "$junkWin")" -name '*.vok' 2>/dev/null | wc -l)
if [ $rc = 0 ] && grep -qF "VOK.settings can't be read in full; it is left as it is" "$work/junk.out" \
   && cmp -s "$userSettings" "$work/junk.settings" && [ "$installedFiles" = "$packFiles" ]; then
    pass "vok.exe install beside a settings file that can't be read in full: logs it, leaves it as it was and installs the pack"
else
    fail "vok.exe install beside a settings file that can't be read in full: exit code $rc, $installedFiles of $packFiles files installed, settings $(cmp -s "$userSettings" "$work/junk.settings" && echo kept || echo changed): $(cat "$work/junk.err")"
fi
finishSession
