#!/usr/bin/env bash
# Drives the real "VOK Setup" executable like a user would, on the X display given by DISPLAY:
# the agreement window must come first and alone, "I Agree" must bring up the centred main
# window, and "Cancel" there, "Cancel" in the agreement and both title-bar close buttons must
# end the program with exit code 0. Screenshots of both windows go to SCREENSHOT_DIR.
#
# Usage: e2e_setup.sh APP_EXECUTABLE SCREENSHOT_DIR
set -euo pipefail

app="${1:?usage: e2e_setup.sh APP SCREENSHOT_DIR}"
shots="${2:?usage: e2e_setup.sh APP SCREENSHOT_DIR}"
mkdir -p "$shots"

agreementTitle="VOK2 License and Legal Information"
mainTitle="VOK Setup"
contentWidth=650      # the agreement's content; the main window's is 680 x 620
failures=0

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

visibleWindow() {  # prints the id of the visible window with exactly this title, if any
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true
}

waitForWindow() {  # title -> window id, or nothing after 20 s
    local id=""
    for _ in $(seq 1 200); do
        id="$(visibleWindow "$1")"
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

waitForExit() {  # pid -> sets exitCode; kills the program after 20 s
    local pid="$1"
    for _ in $(seq 1 200); do
        if ! kill -0 "$pid" 2>/dev/null; then
            set +e; wait "$pid"; exitCode=$?; set -e
            return 0
        fi
        sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    set +e; wait "$pid"; set -e
    exitCode="timeout"
}

geometry() {  # window id -> sets X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
}

clickInContent() {  # window id, content width, content height, x, y (relative to the content)
    local id="$1" cw="$2" ch="$3" x="$4" y="$5"
    geometry "$id"
    local border=$(((WIDTH - cw) / 2))
    local top=$((HEIGHT - ch - border))
    xdotool mousemove $((X + border + x)) $((Y + top + y)) sleep 0.3 click 1
}

clickTitleBarClose() {  # window id, content width, content height
    local id="$1" cw="$2" ch="$3"
    geometry "$id"
    local border=$(((WIDTH - cw) / 2))
    local titleBar=$((HEIGHT - ch - 2 * border))
    xdotool mousemove $((X + WIDTH - border - titleBar / 2)) $((Y + border + titleBar / 2)) sleep 0.3 click 1
}

startApp() {
    HOME="$home" "$app" > "$home/app.log" 2>&1 &
    appPid=$!
}

expectAgreementAlone() {
    agreement="$(waitForWindow "$agreementTitle")"
    if [ -z "$agreement" ]; then fail "no agreement window"; return 1; fi
    sleep 0.5
    [ -z "$(visibleWindow "$mainTitle")" ] || fail "the main window is visible before the agreement was answered"
}

expectEnded() {  # description
    waitForExit "$appPid"
    [ "$exitCode" = 0 ] || fail "$1: program did not end with exit code 0 (got $exitCode)"
}

# 1. Agree, look at the main window, then Cancel.
startApp
if expectAgreementAlone; then
    sleep 0.5
    import -window "$agreement" "$shots/agreement-window.png"
    clickInContent "$agreement" "$contentWidth" 500 $((320 + 75)) $((456 + 12))

    main="$(waitForWindow "$mainTitle")"
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
        [ $((WIDTH - 2)) = 680 ] || fail "main window content is not 680 wide (window width $WIDTH)"
        sleep 0.5
        import -window "$main" "$shots/setup-window.png"
        clickInContent "$main" 680 620 $((16 + 39)) $((576 + 12))
    fi
fi
expectEnded "Cancel in the main window"

# 2. Refuse the agreement with its Cancel button.
startApp
if expectAgreementAlone; then
    clickInContent "$agreement" "$contentWidth" 500 $((480 + 75)) $((456 + 12))
fi
expectEnded "Cancel in the agreement"

# 3. Refuse the agreement with its title-bar close button.
startApp
if expectAgreementAlone; then
    clickTitleBarClose "$agreement" "$contentWidth" 500
fi
expectEnded "title-bar close of the agreement"

# 4. Agree, then close the main window from its title bar.
startApp
if expectAgreementAlone; then
    clickInContent "$agreement" "$contentWidth" 500 $((320 + 75)) $((456 + 12))
    main="$(waitForWindow "$mainTitle")"
    if [ -n "$main" ]; then
        sleep 0.3
        clickTitleBarClose "$main" 680 620
    else
        fail "\"I Agree\" did not bring up the main window (second run)"
    fi
fi
expectEnded "title-bar close of the main window"

if [ "$failures" -ne 0 ]; then
    echo "--- program output ---"; cat "$home/app.log" || true
    exit 1
fi
echo "Screenshots: $shots/agreement-window.png $shots/setup-window.png"
echo "End-to-end: all four start-and-quit scenarios behaved."
