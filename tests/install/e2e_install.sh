#!/usr/bin/env bash
# Drives the real "VOK Setup" through installations, on the X display given by DISPLAY:
#   1. a fresh install: agree, "Install", the log fills, "Installation successfully!"; the pack's
#      files are the embedded ones byte for byte and both settings files hold the directory;
#   2. a second start over the same directory after presets were added to some files: they
#      are merged into the new files;
#   3. a plain file where the directory should be: its box, nothing installed;
#   4. a directory in place of the third impulse file: its box, then "Installation aborted".
# Screenshots go to SHOT_DIR. The program writes the all-users settings below /opt, so the test
# runs in a mount namespace of its own with an empty /opt; where that can't be had it is skipped.
#
# Usage: e2e_install.sh APP VOK PACK_DIR SHOT_DIR
set -euo pipefail

app="${1:?usage: e2e_install.sh APP VOK PACK_DIR SHOT_DIR}"
vok="${2:?}"
pack="${3:?}"
shots="${4:?}"

if [ "${VOK_E2E_PRIVATE_OPT:-}" != 1 ]; then
    if ! unshare --mount --propagation private true 2> /dev/null; then
        echo "SKIP: no private mount namespace here, and the real /opt must not be written"
        exit 77
    fi
    exec env VOK_E2E_PRIVATE_OPT=1 unshare --mount --propagation private "$0" "$@"
fi

if ! mount -t tmpfs tmpfs /opt; then
    echo "SKIP: can't put a private /opt in place, and the real one must not be written"
    exit 77
fi

mkdir -p "$shots"
work="$(mktemp -d)"
trap 'stopApp; rm -rf "$work"' EXIT
failures=0
appPid=""

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
source "$(dirname "$0")/../window-clicks.sh"

# A message box is a window of its own (titled "!" for a warning, untitled for information).
boxWindow() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$appPid" 2> /dev/null || true); do
        [ "$id" != "$main" ] && { echo "$id"; return 0; }
    done
}

boxIsUp() {  # -> sets box, true once a box is there and drawn
    box="$(boxWindow)"
    [ -n "$box" ] && windowIsDrawn "$box"
}

waitForBox() {  # seconds -> id, or nothing (the callers say what was missing)
    local box=""
    waitUntil "$1" "a message box" boxIsUp 2> /dev/null || box=""
    echo "$box"
}

# A key can come before the box takes the focus; a user would press again, and so does this.
dismissBox() {  # id; Return presses the box's one button
    for _ in 1 2 3; do
        xdotool windowfocus --sync "$1" 2> /dev/null || true
        xdotool key --window "$1" Return 2> /dev/null || true
        waitUntil 3 "the message box to close" windowIsGone "$1" 2> /dev/null && return 0
    done
    fail "the message box did not close after three presses of Return"
}

# True when the log area of the main window, in a new screenshot, shows dark text on its
# white background; darkest is the darkest grey seen there.
logShowsText() {  # screenshot file
    contentOrigin "$main" $(sizeOf setupPanel) || return 1
    import -window root "$1"
    local x y width height
    read -r x y width height <<< "${box_logEditor[*]}"
    # Inside the log's frame and scroll bar.
    darkest=$(convert "$1" -crop "$((width - 24))x$((height - 12))+$((contentX + x + 8))+$((contentY + y + 6))" +repage -colorspace Gray -format "%[fx:minima]" info:)
    awk -v d="$darkest" 'BEGIN { exit !(d < 0.3) }'
}

startAndAgree() {  # home -> sets main (the main window's id) or fails
    HOME="$1" "$app" > "$1/app.log" 2>&1 &
    appPid=$!
    main=""
    local agreement
    agreement="$(waitForWindow "VOK2 License and Legal Information")"
    [ -n "$agreement" ] || { fail "no agreement window"; return 1; }
    clickInContent "$agreement" $(sizeOf agreementContent) $(centreOf agreeButton) || true
    main="$(waitForWindow "VOK Setup")"
    [ -n "$main" ] || { fail "\"I Agree\" did not bring up the main window"; return 1; }
}

# True once the log covers the middle of the panel (white where the panel is navy before).
logShown() {
    contentOrigin "$main" $(sizeOf setupPanel) || return 1
    local colour
    colour=$(import -window root -crop "1x1+$((contentX + 300))+$((contentY + 300))" -depth 8 txt:- 2> /dev/null | tail -n 1)
    [[ "$colour" == *"#FFFFFF"* ]]
}

installationStarted() {
    logShown || [ -n "$(boxWindow)" ]
}

pressInstall() {
    clickInContent "$main" $(sizeOf setupPanel) $(centreOf installButton) || true
    waitUntil 5 "the installation to start" installationStarted || fail "\"Install\" did not start the installation"
}

# "Close" sits where "Install" was.
closeApp() {
    clickInContent "$main" $(sizeOf setupPanel) $(centreOf closeButton) || true
    if ! waitUntil 10 "the program to end" processHasEnded "$appPid"; then
        fail "\"Close\" did not end the program"
        stopApp
    else
        set +e; wait "$appPid"; local code=$?; set -e
        [ "$code" = 0 ] || fail "the program ended with exit code $code"
    fi
    appPid=""
}

stopApp() {
    if [ -n "${appPid:-}" ] && kill -0 "$appPid" 2> /dev/null; then
        kill "$appPid" 2> /dev/null || true
        wait "$appPid" 2> /dev/null || true
    fi
}

settingsHold() {  # settings file, path: a binary properties file holding the path
    [ "$(head -c 4 "$1" 2> /dev/null)" = PROP ] && grep -aqF "$2" "$1"
}

expectPackInstalled() {  # directory
    local name count=0
    while IFS= read -r name; do
        cmp -s "$pack/$name" "$1/$name" || fail "$name is not byte-identical to the embedded file"
        count=$((count + 1))
    done < <(cd "$pack" && ls -1 -- *.vok)
    [ "$count" -gt 0 ] || fail "the pack folder $pack holds no impulse files"
    # The writers' lock file stays, hidden, beside the pack's files.
    [ "$(ls -1 "$1" | wc -l)" = "$count" ] || fail "the directory holds more than the pack's $count files: $(ls -1 "$1" | tr '\n' ',')"
}

#==============================================================================
# 1. Fresh install into the proposed folder, Documents/VOK Impulses.
home1="$work/home1"; mkdir -p "$home1"
dir1="$home1/Documents/VOK Impulses"
if startAndAgree "$home1"; then
    pressInstall
    import -window root "$shots/install-log-running.png"
    box="$(waitForBox 60)"
    if [ -z "$box" ]; then
        fail "no \"Installation successfully!\" box"
    else
        import -window root "$shots/install-success-box.png"
        dismissBox "$box"
        darkest=""
        waitUntil 5 "text in the log" logShowsText "$shots/install-log-finished.png" \
            || fail "the log shows no text (its darkest grey is ${darkest:-unknown})"
        [ -z "$(waitForBox 2)" ] || fail "a further box appeared after success"
        expectPackInstalled "$dir1"
        settingsHold "$home1/.config/VOK/VOK.settings" "$dir1" || fail "the user settings do not hold the directory"
        settingsHold "/opt/VOK/VOK.settings" "$dir1" || fail "the all-users settings do not hold the directory"
    fi
    closeApp
fi
stopApp

# 2. The user adds presets to two files; a second start over the same directory merges them.
if [ -d "$dir1" ]; then
    echo "warm, wide and bright" > "$work/preset-data"
    "$vok" add-preset "$dir1/Club small stereo.vok" "My Club" "$work/preset-data" > /dev/null
    "$vok" add-preset "$dir1/Living Room true stereo.vok" "Sofa" "$work/preset-data" > /dev/null
    if startAndAgree "$home1"; then
        pressInstall
        box="$(waitForBox 60)"
        if [ -z "$box" ]; then
            fail "no \"Installation successfully!\" box on the second start"
        else
            dismissBox "$box"
            "$vok" presets "$dir1/Club small stereo.vok" | grep -qx "My Club" || fail "\"My Club\" was not carried over"
            "$vok" presets "$dir1/Living Room true stereo.vok" | grep -qx "Sofa" || fail "\"Sofa\" was not carried over"
            [ "$("$vok" get-preset "$dir1/Club small stereo.vok" "My Club")" = "$(cat "$work/preset-data")" ] \
                || fail "\"My Club\" lost its data"
            cmp -s "$pack/Church medium stereo.vok" "$dir1/Church medium stereo.vok" || fail "a file without user presets changed"
            [ "$(ls -1 "$dir1" | wc -l)" = "$(ls -1 "$pack" | grep -c '\.vok$')" ] || fail "files left beside the impulse files: $(ls -1 "$dir1" | tr '\n' ',')"
        fi
        closeApp
    fi
    stopApp
fi

# 3. A plain file where the directory should be: one box, nothing installed.
home3="$work/home3"; mkdir -p "$home3/Documents"
echo "not a directory" > "$home3/Documents/VOK Impulses"
if startAndAgree "$home3"; then
    pressInstall
    box="$(waitForBox 30)"
    if [ -z "$box" ]; then
        fail "no box for the directory that can't be created"
    else
        import -window root "$shots/install-failure-directory-box.png"
        dismissBox "$box"
        [ -z "$(waitForBox 2)" ] || fail "a second box followed \"Can't Create Directory\""
        [ "$(cat "$home3/Documents/VOK Impulses")" = "not a directory" ] || fail "the file in the directory's place changed"
        ! settingsHold "$home3/.config/VOK/VOK.settings" "$home3/Documents/VOK Impulses" || fail "the directory that could not be created was recorded"
    fi
    closeApp
fi
stopApp

# 4. A directory in place of the third file: its box, then "Installation aborted".
home4="$work/home4"; dir4="$home4/Documents/VOK Impulses"
mkdir -p "$dir4/Recording Studio small stereo.vok"
if startAndAgree "$home4"; then
    pressInstall
    box="$(waitForBox 30)"
    if [ -z "$box" ]; then
        fail "no box for the directory in a file's place"
    else
        import -window root "$shots/install-failure-file-box.png"
        dismissBox "$box"
        box="$(waitForBox 10)"
        if [ -z "$box" ]; then
            fail "no \"Installation aborted\" box"
        else
                import -window root "$shots/install-aborted-box.png"
            dismissBox "$box"
        fi
        cmp -s "$pack/Recording Studio 2 stereo.vok" "$dir4/Recording Studio 2 stereo.vok" || fail "the first file is not installed"
        cmp -s "$pack/Recording Studio 2 true stereo.vok" "$dir4/Recording Studio 2 true stereo.vok" || fail "the second file is not installed"
        [ -d "$dir4/Recording Studio small stereo.vok" ] || fail "the directory in the third file's place is gone"
        [ "$(ls -1 "$dir4" | wc -l)" = 3 ] || fail "files after the failure were attempted: $(ls -1 "$dir4" | tr '\n' ',')"
    fi
    closeApp
fi
stopApp

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "Screenshots in $shots: install-log-running.png install-success-box.png install-log-finished.png"
echo "    install-failure-directory-box.png install-failure-file-box.png install-aborted-box.png"
echo "End-to-end installation: fresh install, merge on a second start and both failure paths behaved."
