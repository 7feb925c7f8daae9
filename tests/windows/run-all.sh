#!/usr/bin/env bash
# Tests the Windows build under Wine, in a fresh Wine prefix, on the X display named by
# DISPLAY (make test-windows runs it under tests/with-xvfb.sh):
#   0. both programs import only Windows' own DLLs, and carry the icon (16, 32, 48 and
#      256 pixels), version information numbered from the installer's version, and a
#      manifest (execution level, DPI awareness, common controls, supported Windows);
#   1. the unit tests of the format library and of the install engine, built for Windows;
#   2. "vok.exe install" into a Windows path: the pack's files, byte for byte, and both
#      settings files in the Windows application-data folders; a folder name with "ü" in it;
#   3. a target file held open by a second Wine process: the installation stops with
#      "Can't overwrite " + path + the retry advice, the user's preset survives in the
#      backup, and the next installation (file released) carries it into the new file;
#   4. the real "VOK Setup.exe" driven with xdotool: agree, install into the default folder
#      ("VOK Impulses" in the user's Documents), the "Installation successfully!" box, close;
#   5. "VOK Setup.exe" over a file held open: warning boxes, and the presets kept as in 3;
#   6. one writer at a time: while a second Wine process holds the lock of the folder,
#      "vok.exe add-preset" waits, adds its preset once the lock is released, and gives up
#      with "Can't lock " + folder after its time limit when it never is;
#   7. a settings file that can't be read in full: "vok.exe install" says so in its log,
#      leaves the file with its bytes and installs the pack all the same.
#
# Usage: run-all.sh BUILD_DIR      (the build folder of windows/build.sh)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-all.sh BUILD_DIR}" && pwd)

vokExe=$build/tools/vok.exe
setupExe="$build/app/VOK Setup.exe"
holdExe=$build/tests/windows/vok_hold_file.exe
packDir=$build/pack/impulses
shots=$build/windows-test-screenshots

passed=0
failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

missing=()
for tool in wine wineboot wineserver winepath x86_64-w64-mingw32-objdump python3 xdotool import; do
    command -v "$tool" > /dev/null || missing+=("$tool")
done
if [ ${#missing[@]} != 0 ]; then
    echo "Missing: ${missing[*]}. Run make test-windows, which installs Wine and MinGW-w64 (make windows-deps) and the X tools (make deps)."
    exit 1
fi

work=$(mktemp -d /tmp/vok-windows-test.XXXXXX)
export WINEPREFIX=$work/prefix
# A home without a Documents folder: Wine then keeps the user's documents inside the prefix
# instead of linking them to the real home.
export HOME=$work/home
mkdir -p "$HOME" "$shots"

cleanup() {
    [ -n "${holderPid:-}" ] && kill "$holderPid" 2>/dev/null
    [ -n "${waiterPid:-}" ] && kill "$waiterPid" 2>/dev/null
    [ -n "${appPid:-}" ] && kill "$appPid" 2>/dev/null
    wineserver -k 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

wine() { "$here/wine-run.sh" "$@"; }
unixPath() { winepath -u "$1" 2>/dev/null; }
windowsPath() { local p=$1; echo "Z:${p//\//\\}"; }  # Wine's drive Z: is the Unix root

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f", b - a }'; }

#==============================================================================
started=$(seconds)
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i > "$work/wineboot.log" 2>&1 \
    || { cat "$work/wineboot.log"; echo "Could not create a Wine prefix in $WINEPREFIX (wineboot's log above); it needs a writable /tmp and the Wine that make windows-deps installs"; exit 1; }
echo "Fresh Wine prefix: $(elapsed "$started") s"

# Keeps one wineserver for the whole run: each program then starts in about half a second.
wineserver -p 60

windowsFolder() {  # %NAME% -> the folder as Windows names it
    wine cmd /c echo "$1" 2>/dev/null | tr -d '\r'
}
appData=$(windowsFolder '%APPDATA%')
programData=$(windowsFolder '%ProgramData%')
userProfile=$(windowsFolder '%USERPROFILE%')
echo "Windows folders: AppData $appData, ProgramData $programData, profile $userProfile"

#==============================================================================
# 0. Statically linked: each program imports only DLLs that Windows itself has (those
#    that Wine provides in system32), never the MinGW runtime's.
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

# Resources as Explorer and Windows read them.
installerVersion=2.1.004
for entry in "$setupExe|Installer of the Rooms impulse pack for VOK2" "$vokExe|VOK impulse file tool"; do
    exe=${entry%%|*}
    results=$(python3 "$here/check-resources.py" "$exe" "$installerVersion" "${entry#*|}" 2>&1)
    rc=$?
    while IFS=$'\t' read -r verdict what; do
        case $verdict in
            PASS) pass "$(basename "$exe") resources: $what" ;;
            FAIL) fail "$(basename "$exe") resources: $what" ;;
        esac
    done <<< "$results"
    [ $rc = 0 ] || grep -q '^FAIL' <<< "$results" || fail "$(basename "$exe") resources: the check ended with $rc: $results"
done

#==============================================================================
# 1. Unit tests
for exe in "$build"/tests/impulse/*_tests.exe "$build"/tests/install/*_tests.exe; do
    [ -e "$exe" ] || continue
    name=$(basename "$exe" .exe)
    started=$(seconds)
    wine "$exe" --gtest_brief=1 --gtest_color=no > "$work/$name.log" 2>&1
    rc=$?
    summary=$(grep -E '^\[  (PASSED|FAILED|SKIPPED) +\]' "$work/$name.log" | grep -v '^\[  FAILED  \] .*\.' | tr '\n' ' ')
    if [ $rc = 0 ] && grep -q '^\[  PASSED  \]' "$work/$name.log"; then
        pass "$name under Wine: $summary($(elapsed "$started") s)"
    else
        fail "$name under Wine (exit code $rc): $summary"
        grep -E -B 12 '^\[  FAILED  \]' "$work/$name.log" | head -n 80
    fi
done

#==============================================================================
# 2. vok.exe install into a Windows path
targetWin='C:\VOK Test\Impulses'

settingsValue() {  # settings file -> the DEFAULT_IMPULSE_PATH it stores, if it is one of ours
    python3 "$here/read-settings.py" "$1" DEFAULT_IMPULSE_PATH
}

checkSettings() {  # expected path (Windows form), description
    local expected=$1 what=$2 folder file value
    for folder in "$appData" "$programData"; do
        file=$(unixPath "$folder\\VOK\\VOK.settings")
        value=$(settingsValue "$file" 2>&1)
        if [ "$value" = "$expected" ]; then
            pass "$what: $folder\\VOK\\VOK.settings holds DEFAULT_IMPULSE_PATH = $expected"
        else
            fail "$what: $folder\\VOK\\VOK.settings: expected DEFAULT_IMPULSE_PATH = $expected, got: $value"
        fi
    done
}

checkPack() {  # installed folder (Unix path), description
    local folder=$1 what=$2 count=0 differing=() name
    for f in "$packDir"/*.vok; do
        name=$(basename "$f")
        count=$((count + 1))
        cmp -s "$f" "$folder/$name" || differing+=("$name")
    done
    local installed
    installed=$(find "$folder" -maxdepth 1 -type f | wc -l)
    if [ "$count" -gt 0 ] && [ ${#differing[@]} = 0 ] && [ "$installed" = "$count" ]; then
        pass "$what: the pack's $count files are there, each equal to the pack's, and nothing else"
    else
        fail "$what: pack has $count files, folder holds $installed; missing or different: ${differing[*]}"
    fi
}

started=$(seconds)
wine "$vokExe" install "$targetWin" > "$work/install.out" 2> "$work/install.err"
rc=$?
if [ $rc = 0 ] && [ "$(tail -n 1 "$work/install.out" | tr -d '\r')" = "Installation successfully!" ]; then
    pass "vok.exe install \"$targetWin\" ($(elapsed "$started") s)"
else
    fail "vok.exe install \"$targetWin\" exited with $rc"
    tail -n 20 "$work/install.out" "$work/install.err"
fi
targetDir=$(unixPath "$targetWin")
checkPack "$targetDir" "vok.exe install"
checkSettings "$targetWin" "vok.exe install"

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

#==============================================================================
# 3. A target file held open by another program
heldName=$(basename "$(ls "$packDir"/*.vok | head -n 1)")
printf 'my own hall setting' > "$work/preset.txt"
presetsOf() { wine "$vokExe" presets "$1" 2>&1 | tr -d '\r'; }
hasUserPreset() { grep -qx 'A User Preset' <<< "$(presetsOf "$1")"; }

addUserPreset() {  # Windows path of an installed file
    wine "$vokExe" add-preset "$1" "A User Preset" "$(windowsPath "$work/preset.txt")" > "$work/add.log" 2>&1 \
        && hasUserPreset "$1" \
        || { fail "could not add a user preset to $1: $(cat "$work/add.log")"; return 1; }
}

holdOpen() {  # Windows path: a second Wine process keeps the file open (or the folder locked) until releaseFile
    rm -f "$work/release"
    : > "$work/hold.log"
    wine "$holdExe" "$1" "$(windowsPath "$work/release")" 300 >> "$work/hold.log" 2>&1 &
    holderPid=$!
    for _ in $(seq 1 100); do grep -q holding "$work/hold.log" && return 0; sleep 0.1; done
    fail "the helper could not hold $1 open: $(cat "$work/hold.log")"
    return 1
}

releaseFile() {
    touch "$work/release"
    wait "$holderPid" 2>/dev/null
    holderPid=
}

checkBackup() {  # unix path of the target, copy of the target before the run, description
    local backup=$1.setup_backupfile
    # The tool reads impulse files by their extension: it looks at a copy of the backup.
    rm -f "$work/backup.vok"
    [ -f "$backup" ] && cp "$backup" "$work/backup.vok"
    if [ -f "$backup" ] && cmp -s "$backup" "$2" \
       && hasUserPreset "$(windowsPath "$work/backup.vok")"; then
        pass "$3: the old file, with the user's preset, survives as the backup"
    else
        fail "$3: no backup holding the user's preset beside $1"
    fi
}

checkMergedAfterRelease() {  # Windows folder, Windows path of the file, unix path of the file, description
    wine "$vokExe" install "$1" > "$work/again.out" 2> "$work/again.err"
    local rc=$?
    if [ $rc = 0 ] && hasUserPreset "$2" && [ ! -e "$3.setup_backupfile" ]; then
        pass "$4, file released: the next installation succeeds and carries the user's preset into the new file"
    else
        fail "$4, file released: exit code $rc, presets: $(presetsOf "$2" | tr '\n' ' '), backup left: $([ -e "$3.setup_backupfile" ] && echo yes || echo no)"
        tail -n 5 "$work/again.err"
    fi
}

heldWin="$targetWin\\$heldName"
held=$targetDir/$heldName
if addUserPreset "$heldWin"; then
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
fi

#==============================================================================
# 4. The installer itself, driven like a user would
# Without settings files it proposes "VOK Impulses" in the user's Documents.
rm -f "$(unixPath "$appData\\VOK\\VOK.settings")" "$(unixPath "$programData\\VOK\\VOK.settings")"
"$here/drive-setup.sh" "$setupExe" "$shots" "$work" success
rc=$?
if [ $rc = 0 ]; then
    pass "VOK Setup.exe: agree, install, \"Installation successfully!\", close"
else
    fail "VOK Setup.exe run (see above)"
fi
defaultWin="$userProfile\\Documents\\VOK Impulses"
checkPack "$(unixPath "$defaultWin")" "VOK Setup.exe into the default folder"
checkSettings "$defaultWin" "VOK Setup.exe"

#==============================================================================
# 5. The installer over a file that another program holds open
guiHeldWin="$defaultWin\\$heldName"
guiHeld=$(unixPath "$defaultWin")/$heldName
if addUserPreset "$guiHeldWin"; then
    cp "$guiHeld" "$work/before.vok"
    if holdOpen "$guiHeldWin"; then
        if "$here/drive-setup.sh" "$setupExe" "$shots" "$work" failure; then
            pass "VOK Setup.exe over a held-open target: the run stops with a warning box, then \"Installation aborted\""
        else
            fail "VOK Setup.exe over a held-open target (see above)"
        fi
        checkBackup "$guiHeld" "$work/before.vok" "VOK Setup.exe over a held-open target"
        releaseFile
    fi
    checkMergedAfterRelease "$defaultWin" "$guiHeldWin" "$guiHeld" "VOK Setup.exe"
fi

#==============================================================================
# 6. One writer at a time: another process holds the folder's lock, as an installation or a
#    vok command does while it changes a file there
printf 'a later setting' > "$work/later.txt"
hasPreset() { grep -qxF "$2" <<< "$(presetsOf "$1")"; }
addLaterPreset() {  # preset name; adds it to the held file of section 3
    wine "$vokExe" add-preset "$heldWin" "$1" "$(windowsPath "$work/later.txt")"
}

if holdOpen "$targetWin"; then
    addLaterPreset "Added After The Lock" > "$work/waiting.out" 2>&1 &
    waiterPid=$!
    sleep 3
    if kill -0 "$waiterPid" 2>/dev/null && ! hasPreset "$heldWin" "Added After The Lock"; then
        pass "vok.exe add-preset waits while another process holds the lock of $targetWin"
    else
        fail "vok.exe add-preset did not wait for the lock of $targetWin: $(cat "$work/waiting.out")"
    fi
    releaseFile
    wait "$waiterPid"
    rc=$?
    waiterPid=
    if [ $rc = 0 ] && hasPreset "$heldWin" "Added After The Lock" && hasUserPreset "$heldWin"; then
        pass "vok.exe add-preset, lock released: the preset is added beside the user's"
    else
        fail "vok.exe add-preset, lock released: exit code $rc ($(cat "$work/waiting.out")), presets: $(presetsOf "$heldWin" | tr '\n' ' ')"
    fi
fi

if holdOpen "$targetWin"; then
    cp "$held" "$work/before.vok"
    started=$(seconds)
    addLaterPreset "Added Under A Held Lock" > "$work/locked.out" 2>&1
    rc=$?
    waited=$(elapsed "$started")
    expectedMessage="Can't lock $targetWin: another installation or vok command is changing its files"
    if [ $rc = 1 ] && grep -qxF "$expectedMessage" <<< "$(tr -d '\r' < "$work/locked.out")" && cmp -s "$held" "$work/before.vok"; then
        pass "vok.exe add-preset under a lock that is never released: \"$expectedMessage\" after $waited s, the file unchanged"
    else
        fail "vok.exe add-preset under a lock that is never released: exit code $rc after $waited s: $(cat "$work/locked.out")"
    fi
    releaseFile
fi

#==============================================================================
# 7. A user settings file that can't be read in full is never replaced, and the pack is installed
userSettings=$(unixPath "$appData\\VOK\\VOK.settings")
mkdir -p "$(dirname "$userSettings")"
cp -p "$userSettings" "$work/settings.kept" 2>/dev/null
printf 'PROP\377\377\377\377WINDOW_SIZE\000800 600\000' > "$userSettings"
cp "$userSettings" "$work/junk.settings"
junkWin='C:\VOK Test\Beside Junk Settings'
wine "$vokExe" install "$junkWin" > "$work/junk.out" 2> "$work/junk.err"
rc=$?
installedFiles=$(find "$(unixPath "$junkWin")" -name '*.vok' 2>/dev/null | wc -l)
if [ $rc = 0 ] && grep -qF "VOK.settings can't be read in full; it is left as it is" "$work/junk.out" \
   && cmp -s "$userSettings" "$work/junk.settings" && [ "$installedFiles" = 24 ]; then
    pass "vok.exe install beside a settings file that can't be read in full: logs it, leaves it as it was and installs the pack"
else
    fail "vok.exe install beside a settings file that can't be read in full: exit code $rc, $installedFiles files installed, settings $(cmp -s "$userSettings" "$work/junk.settings" && echo kept || echo changed): $(cat "$work/junk.err")"
fi
[ -f "$work/settings.kept" ] && cp -p "$work/settings.kept" "$userSettings"

#==============================================================================
echo "Screenshots: $shots"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
