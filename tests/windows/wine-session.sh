# What the Windows end-to-end tests share, sourced by each of them: a Wine prefix of the test's
# own (a copy of the fresh one that make-wine-prefix.sh made for the run), the folders Windows
# names in it, and the checks that more than one test makes.
#
# Every test takes the same arguments:
#   TEST.sh PREFIX_TEMPLATE VOK_EXE SETUP_EXE HOLD_EXE PACK_DIR SCREENSHOT_DIR
# Each check prints "PASS: what" or "FAIL: what"; finishSession ends the test, failed when
# any check did. A test that can't run (a tool missing) ends with exit code 77, which CTest
# counts as skipped, and says why.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
template=${1:?usage: $(basename "$0") PREFIX_TEMPLATE VOK_EXE SETUP_EXE HOLD_EXE PACK_DIR SCREENSHOT_DIR}
vokExe=${2:?usage}
setupExe=${3:?usage}
holdExe=${4:?usage}
packDir=${5:?usage}
shots=${6:?usage}

passed=0
failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

finishSession() {
    echo "$passed passed, $failed failed"
    [ "$failed" = 0 ] && [ "$passed" -gt 0 ]
    exit
}

requireTools() {  # tool... -> skips the test when one is missing
    local missing=() tool
    for tool in "$@"; do
        command -v "$tool" > /dev/null || missing+=("$tool")
    done
    if [ ${#missing[@]} != 0 ]; then
        echo "skipped: missing ${missing[*]}; make test-windows installs Wine and MinGW-w64 (make windows-deps) and the X tools (make deps)"
        exit 77
    fi
}

requireTools wine wineserver winepath python3

if [ ! -f "$template/prefix/system.reg" ]; then
    echo "FAIL: no Wine prefix in $template: the windows.wine_prefix test makes it"
    exit 1
fi

work=$(mktemp -d /tmp/vok-windows-test.XXXXXX)
export WINEPREFIX=$work/prefix
# Wine keeps files of its own in the home (menu entries, its settings): the test has its own.
export HOME=$work/home
cp -a "$template/prefix" "$WINEPREFIX"
cp -a "$template/home" "$HOME"
mkdir -p "$shots"

cleanup() {
    [ -n "${holderPid:-}" ] && kill "$holderPid" 2>/dev/null
    [ -n "${waiterPid:-}" ] && kill "$waiterPid" 2>/dev/null
    wineserver -k 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Keeps one wineserver for the whole test: each program then starts in about half a second.
wineserver -p

wine() { "$here/wine-run.sh" "$@"; }
unixPath() { winepath -u "$1" 2>/dev/null; }
windowsPath() { local p=$1; echo "Z:${p//\//\\}"; }  # Wine's drive Z: is the Unix root

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.1f", b - a }'; }

windowsFolder() {  # %NAME% -> the folder as Windows names it
    wine cmd /c echo "$1" 2>/dev/null | tr -d '\r'
}
appData=$(windowsFolder '%APPDATA%')
programData=$(windowsFolder '%ProgramData%')
userProfile=$(windowsFolder '%USERPROFILE%')
defaultWin="$userProfile\\Documents\\VOK Impulses"  # what the installer proposes without settings

packFiles=$(ls "$packDir"/*.vok 2>/dev/null | wc -l)
if [ "$packFiles" = 0 ]; then
    echo "FAIL: no pack files in $packDir"
    exit 1
fi
heldName=$(basename "$(ls "$packDir"/*.vok | head -n 1)")

#------------------------------------------------------------------------------
# The installed pack and the settings that point at it

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

installWithTool() {  # Windows folder: "vok.exe install" into it, which must succeed
    local started rc
    started=$(seconds)
    wine "$vokExe" install "$1" > "$work/install.out" 2> "$work/install.err"
    rc=$?
    if [ $rc = 0 ] && [ "$(tail -n 1 "$work/install.out" | tr -d '\r')" = "Installation successfully!" ]; then
        pass "vok.exe install \"$1\" ($(elapsed "$started") s)"
    else
        fail "vok.exe install \"$1\" exited with $rc"
        tail -n 20 "$work/install.out" "$work/install.err"
        return 1
    fi
}

#------------------------------------------------------------------------------
# User presets, and files another program holds open

printf 'my own hall setting' > "$work/preset.txt"
presetsOf() { wine "$vokExe" presets "$1" 2>&1 | tr -d '\r'; }
hasPreset() { grep -qxF "$2" <<< "$(presetsOf "$1")"; }
hasUserPreset() { hasPreset "$1" 'A User Preset'; }

addUserPreset() {  # Windows path of an installed file
    wine "$vokExe" add-preset "$1" "A User Preset" "$(windowsPath "$work/preset.txt")" > "$work/add.log" 2>&1 \
        && hasUserPreset "$1" \
        || { fail "could not add a user preset to $1: $(cat "$work/add.log")"; return 1; }
}

# An installation whose first file the user has given a preset of their own: sets heldWin and
# held, that file as Windows and as Linux name it. The test ends here when this fails.
installWithUserPreset() {  # Windows folder
    heldWin="$1\\$heldName"
    installWithTool "$1" && addUserPreset "$heldWin" || finishSession
    held=$(unixPath "$1")/$heldName
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
