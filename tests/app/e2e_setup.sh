#!/usr/bin/env bash
# Drives the real "VOK Setup" executable like a user would, on the X display given by DISPLAY:
# the agreement window must come first and alone, "I Agree" must bring up the centred main
# window, and "Cancel" there, "Cancel" in the agreement and both title-bar close buttons must
# end the program with exit code 0. Then a whole installation with keyboard events alone, the
# pointer parked in a corner: Tab shows the focus mark on "I Agree", Return agrees, Tab Tab and
# Return install, Return dismisses "Installation successfully!" and Escape ends the program.
# Screenshots of the windows go to SCREENSHOT_DIR.
#
# Last, the same folder is installed again after every file got 300 user presets: the log window
# writes a line for each preset it carries over, and must keep up with the engine.
#
# Usage: e2e_setup.sh APP_EXECUTABLE SCREENSHOT_DIR PACK_DIR INSTALL_USER_PRESETS
#   (PACK_DIR: the generated pack, for the number of files)
set -euo pipefail

usage="usage: e2e_setup.sh APP SCREENSHOT_DIR PACK_DIR INSTALL_USER_PRESETS"
app="${1:?$usage}"
shots="${2:?$usage}"
packFiles=$(find "${3:?$usage}" -maxdepth 1 -name '*.vok' | wc -l)
userPresets="${4:?$usage}"
mkdir -p "$shots"

agreementTitle="VOK2 License and Legal Information"
mainTitle="VOK Setup"
source "$(dirname "$0")/../window-clicks.sh"
failures=0

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

waitForExit() {  # pid [seconds] -> sets exitCode ("running" if still running after the time)
    if waitUntil "${2:-20}" "the program to end" processHasEnded "$1"; then
        set +e; wait "$1"; exitCode=$?; set -e
    else
        exitCode="running"
    fi
}

stopApp() {
    if kill -0 "$appPid" 2>/dev/null; then
        kill "$appPid" 2>/dev/null || true
        set +e; wait "$appPid"; set -e
    fi
}

geometry() {  # window id -> sets X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
}

clickTitleBarClose() {  # window id, content width, content height
    local id="$1" cw="$2" ch="$3"
    geometry "$id"
    local border=$(((WIDTH - cw) / 2))
    local titleBar=$((HEIGHT - ch - 2 * border))
    xdotool mousemove --sync $((X + WIDTH - border - titleBar / 2)) $((Y + border + titleBar / 2)) sleep 0.3 mousedown 1 sleep 0.15 mouseup 1
}

clickAndWaitForWindow() {  # title to wait for, then the clickInContent arguments -> window id or nothing
    local title="$1"; shift
    clickInContent "$@" || true
    waitForWindow "$title"
}

clickAndExpectExit() {  # click command and its arguments; the program must end with exit code 0
    local description="$1"; shift
    "$@" || true
    waitForExit "$appPid"
    [ "$exitCode" = 0 ] || fail "$description: program did not end with exit code 0 (got $exitCode)"
    stopApp
}

startApp() {
    HOME="$home" "$app" > "$home/app.log" 2>&1 &
    appPid=$!
}

# An installation writes the all-users settings below /opt: the program gets a private, empty
# /opt of its own (a mount namespace), or the installation is not run at all.
canHavePrivateOpt() {
    unshare --mount --propagation private sh -c 'mount -t tmpfs tmpfs /opt' 2> /dev/null
}

startAppWithPrivateOpt() {
    HOME="$home" unshare --mount --propagation private \
        sh -c 'mount -t tmpfs tmpfs /opt && exec "$0"' "$app" > "$home/app.log" 2>&1 &
    appPid=$!
}

pixelInContent() {  # window id, content width, content height, x, y -> the pixel's colour
    contentOrigin "$1" "$2" "$3" || return 1
    import -window root -crop "1x1+$((contentX + $4))+$((contentY + $5))" -depth 8 txt:- 2> /dev/null | tail -n 1 | awk '{ print $3 }'
}

# The focus mark is an outline just inside the button's edge: that pixel changes with the focus.
expectFocusMarkAfter() {  # description, key, window id, content width, content height, x, y of the button's left edge middle
    local description="$1" key="$2"; shift 2
    local before
    before="$(pixelInContent "$1" "$2" "$3" $(($4 + 2)) "$5")"
    xdotool key "$key"
    waitUntil 5 "the focus mark ($description)" pixelIsNot "$before" "$@" \
        || fail "$description: no focus mark appeared (pixel stays $before)"
}

pixelIsNot() {  # colour, then the pixelInContent arguments
    local colour="$1"; shift
    [ "$(pixelInContent "$1" "$2" "$3" $(($4 + 2)) "$5")" != "$colour" ]
}

otherVisibleWindow() {  # window id -> a visible window of substance other than this one and the desktop
    local id X Y WIDTH HEIGHT SCREEN
    for id in $(xdotool search --onlyvisible --name '.*' 2> /dev/null || true); do
        [ "$id" = "$1" ] && continue
        eval "$(xdotool getwindowgeometry --shell "$id" 2> /dev/null)" || continue
        [ "$WIDTH" -ge 100 ] && [ "$HEIGHT" -ge 60 ] && [ "$WIDTH" -lt 1280 ] && { echo "$id"; return 0; }
    done
}

messageBoxBeside() {  # main window id -> sets box to the box that came up, true once there is one
    box="$(otherVisibleWindow "$1")"
    [ -n "$box" ] && windowIsDrawn "$box"
}

waitForMessageBox() {  # main window id, seconds -> sets box to the box that came up, or empty
    waitUntil "$2" "a message box" messageBoxBeside "$1" || box=""
}

keyAndWaitForWindow() {  # title to wait for, key -> window id or nothing
    xdotool key "$2"
    waitForWindow "$1"
}

keyAndWaitUntilGone() {  # window id, key -> true once the window has gone
    xdotool key "$2"
    waitUntil 10 "the window to close after $2" windowIsGone "$1"
}

expectAgreementAlone() {
    agreement="$(waitForWindow "$agreementTitle")"
    if [ -z "$agreement" ]; then fail "no agreement window"; return 1; fi
    # Nothing to wait for here: the main window must not come, and half a second is the time
    # it is given to show that it doesn't.
    sleep 0.5
    [ -z "$(visibleWindow "$mainTitle")" ] || fail "the main window is visible before the agreement was answered"
}

# 1. Agree, look at the main window, then Cancel.
startApp
if expectAgreementAlone; then
    import -window "$agreement" "$shots/agreement-window.png"
    main="$(clickAndWaitForWindow "$mainTitle" "$agreement" $(sizeOf agreementContent) $(centreOf agreeButton))"
    if [ -z "$main" ]; then
        fail "\"I Agree\" did not bring up the main window"
    else
        [ -z "$(visibleWindow "$agreementTitle")" ] || fail "the agreement window stayed open"
        eval "$(xdotool getdisplaygeometry --shell)"   # SCREEN WIDTH/HEIGHT into WIDTH HEIGHT
        screenWidth=$WIDTH; screenHeight=$HEIGHT
        geometry "$main"
        dx=$((X + WIDTH / 2 - screenWidth / 2)); dy=$((Y + HEIGHT / 2 - screenHeight / 2))
        if [ "${dx#-}" -gt 2 ] || [ "${dy#-}" -gt 2 ]; then
            fail "main window not centred: ${WIDTH}x${HEIGHT} at $X,$Y on ${screenWidth}x${screenHeight}"
        fi
        [ $((WIDTH - 2)) = "${box_setupPanel[2]}" ] || fail "main window content is not ${box_setupPanel[2]} wide (window width $WIDTH)"
        import -window "$main" "$shots/setup-window.png"
        clickAndExpectExit "Cancel in the main window" clickInContent "$main" $(sizeOf setupPanel) $(centreOf cancelButton)
    fi
fi
stopApp

# 2. Refuse the agreement with its Cancel button.
startApp
if expectAgreementAlone; then
    clickAndExpectExit "Cancel in the agreement" clickInContent "$agreement" $(sizeOf agreementContent) $(centreOf agreementCancelButton)
fi
stopApp

# 3. Refuse the agreement with its title-bar close button.
startApp
if expectAgreementAlone; then
    clickAndExpectExit "title-bar close of the agreement" clickTitleBarClose "$agreement" $(sizeOf agreementContent)
fi
stopApp

# 4. Agree, then close the main window from its title bar.
startApp
if expectAgreementAlone; then
    main="$(clickAndWaitForWindow "$mainTitle" "$agreement" $(sizeOf agreementContent) $(centreOf agreeButton))"
    if [ -n "$main" ]; then
        clickAndExpectExit "title-bar close of the main window" clickTitleBarClose "$main" $(sizeOf setupPanel)
    else
        fail "\"I Agree\" did not bring up the main window (second run)"
    fi
fi
stopApp

# 5. A whole installation from the keyboard, into the proposed folder of a fresh home.
if canHavePrivateOpt; then
    target="$home/Documents/VOK Impulses"
    rm -rf "$target"
    startAppWithPrivateOpt
    xdotool mousemove 0 0
    if expectAgreementAlone; then
        expectFocusMarkAfter "Tab in the agreement" Tab "$agreement" $(sizeOf agreementContent) $(leftMiddleOf agreeButton)
        import -window "$agreement" "$shots/keyboard-agreement-focus.png"
        main="$(keyAndWaitForWindow "$mainTitle" Return)"
        if [ -z "$main" ]; then
            fail "Return on \"I Agree\" did not bring up the main window"
        else
            import -window "$main" "$shots/keyboard-setup-window.png"
            xdotool key Tab
            expectFocusMarkAfter "Tab Tab in the main window" Tab "$main" $(sizeOf setupPanel) $(leftMiddleOf installButton)
            import -window "$main" "$shots/keyboard-install-focus.png"
            xdotool key Return
            waitForMessageBox "$main" 60
            if [ -z "$box" ]; then
                fail "Return on \"Install\" brought up no message box within 60 s"
            else
                import -window root "$shots/keyboard-installation-done.png"
                [ "$(xdotool getwindowname "$box")" = "" ] || fail "a warning box came up instead of the success box"
                count=$(find "$target" -maxdepth 1 -name '*.vok' | wc -l)
                [ "$count" = "$packFiles" ] || fail "the keyboard installation left $count impulse files, not the pack's $packFiles"
                keyAndWaitUntilGone "$box" Return || fail "Return did not dismiss the message box"
                import -window "$main" "$shots/keyboard-after-install.png"
                clickAndExpectExit "Escape after the installation" xdotool key Escape
            fi
        fi
    fi
    stopApp

    # 6. Install again over the same files, each now holding 300 user presets: 7,200 log lines.
    #    The engine alone takes well under a second for this; the window may add little to it.
    if [ "$(find "$target" -maxdepth 1 -name '*.vok' | wc -l)" = "$packFiles" ]; then
        "$userPresets" add "$target" 300 > /dev/null
        startAppWithPrivateOpt
        if expectAgreementAlone; then
            xdotool key Tab
            main="$(keyAndWaitForWindow "$mainTitle" Return)"
            if [ -z "$main" ]; then
                fail "Return on \"I Agree\" did not bring up the main window for the reinstallation"
            else
                xdotool key Tab Tab Return
                started=$(date +%s%N)
                waitForMessageBox "$main" 30
                if [ -z "$box" ]; then
                    fail "the reinstallation over 300 user presets per file brought up no message box within 30 s"
                else
                    elapsedMs=$(( ($(date +%s%N) - started) / 1000000 ))
                    echo "measure: reinstallation over $packFiles files with 300 user presets each took $elapsedMs ms in the window"
                    [ "$elapsedMs" -le 10000 ] || fail "the reinstallation over 300 user presets per file took $elapsedMs ms (at most 10 s)"
                    import -window root "$shots/reinstall-300-presets.png"
                    "$userPresets" check "$target" 300 > /dev/null || fail "the reinstallation lost user presets"
                    keyAndWaitUntilGone "$box" Return || fail "Return did not dismiss the message box after the reinstallation"
                    clickAndExpectExit "Escape after the reinstallation" xdotool key Escape
                fi
            fi
        fi
        stopApp
    fi
else
    echo "skipped: the keyboard installation and the reinstallation: they write the all-users settings below /opt, and no private /opt can be had here"
fi

if [ "$failures" -ne 0 ]; then
    echo "--- program output ---"; cat "$home/app.log" || true
    exit 1
fi
echo "Screenshots: $shots/agreement-window.png $shots/setup-window.png $shots/keyboard-*.png"
echo "End-to-end: all start-and-quit scenarios and the keyboard installation behaved."
