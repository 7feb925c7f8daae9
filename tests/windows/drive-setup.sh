#!/usr/bin/env bash
# Drives "VOK Setup.exe" under Wine like a user would, on the X display named by DISPLAY:
# "I Agree" in the agreement window (with the mouse, or with Tab and Return in a failure
# run), "Install" in the setup window (into the folder it proposes), then the "Installation
# successfully!" box is dismissed and "Close" ends the program with exit code 0. A warning box (titled "!") fails the run.
# With EXPECT "failure" the run must instead stop with two warning boxes (the failure, then
# "Installation aborted"), after which "Close" ends the program.
#
# Wine has no window manager here: windows have no title bar, and a message box ignores
# clicks for about ten seconds after it opens, so boxes are dismissed with Return, retried.
#
# Screenshots of the whole screen go to SCREENSHOT_DIR, named wine-*.png (wine-held-open-*.png
# in a failure run); one that cannot be taken fails the run.
#
# Usage: drive-setup.sh SETUP_EXE SCREENSHOT_DIR WORK_DIR [success|failure]
#        (WINEPREFIX set by the caller)
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/../window-clicks.sh"
app=${1:?usage: drive-setup.sh SETUP_EXE SCREENSHOT_DIR WORK_DIR}
shots=${2:?usage}
work=${3:?usage}
expect=${4:-success}
case $expect in
    success | failure) ;;
    *) echo "usage: drive-setup.sh SETUP_EXE SCREENSHOT_DIR WORK_DIR [success|failure], not \"$expect\""; exit 2 ;;
esac
[ -d "$shots" ] || { echo "no screenshot folder $shots"; exit 1; }
shotPrefix=wine-
[ "$expect" = failure ] && shotPrefix=wine-held-open-

agreementTitle="VOK2 License and Legal Information"
mainTitle="VOK Setup"

visibleWindows() {  # title pattern -> ids of the visible windows whose title matches
    xdotool search --onlyvisible --name "$1" 2>/dev/null || true
}

waitForWindow() {  # exact title, seconds -> window id, or nothing
    local id=""
    for _ in $(seq 1 $(($2 * 10))); do
        id=$(visibleWindows "^$1\$" | head -n 1)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}

windowsOfSubstance() {  # visible windows other than the desktop and the thin shadow windows
    local id X Y WIDTH HEIGHT SCREEN
    for id in $(visibleWindows '.*'); do
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
        [ "$WIDTH" -ge 100 ] && [ "$HEIGHT" -ge 60 ] && [ "$WIDTH" -lt "$screenWidth" ] && echo "$id"
    done
}

newBox() {  # windows of substance that were not there before (list in $1)
    windowsOfSubstance | grep -vxF -e "$main" -e "$agreement" $(printf -- '-e %s ' $1) | head -n 1
}

# Here-strings rather than pipes into grep -q: with pipefail, a writer cut off early would count as failure.
isVisible() { grep -qx "$1" <<< "$(visibleWindows '.*')"; }

dismissBox() {  # window id: Return until it has gone (at most 40 s)
    for _ in $(seq 1 20); do
        xdotool windowfocus --sync "$1" 2>/dev/null
        xdotool key Return 2>/dev/null
        sleep 2
        isVisible "$1" || return 0
    done
    return 1
}

screenshot() {  # name: the whole screen into SCREENSHOT_DIR/<prefix>name.png, or the run fails
    local file=$shots/$shotPrefix$1.png
    rm -f "$file"
    if ! import -window root "$file" > "$work/import.log" 2>&1 || [ ! -s "$file" ]; then
        echo "could not take the screenshot $file: $(cat "$work/import.log")"
        exit 1
    fi
}

# A window scaled for the screen's resolution would be larger than its content's design size
# plus the frame (a title bar and a thin border).
atDesignSize() {  # window id, content width, content height
    local X Y WIDTH HEIGHT SCREEN
    eval "$(xdotool getwindowgeometry --shell "$1")"
    if [ $((WIDTH - $2)) -lt 0 ] || [ $((WIDTH - $2)) -gt 16 ] || [ $((HEIGHT - $3)) -lt 0 ] || [ $((HEIGHT - $3)) -gt 48 ]; then
        echo "window $1 is ${WIDTH}x$HEIGHT, not its design size $2x$3 with a frame"
        return 1
    fi
}

eval "$(xdotool getdisplaygeometry --shell)"
screenWidth=$WIDTH

"$here/wine-run.sh" "$app" > "$work/setup.log" 2>&1 &
appPid=$!
trap 'kill "$appPid" 2>/dev/null' EXIT

started=$(date +%s)
agreement=$(waitForWindow "$agreementTitle" 30)
[ -n "$agreement" ] || { echo "no agreement window after 30 s"; exit 1; }
echo "agreement window after $(($(date +%s) - started)) s"
atDesignSize "$agreement" $(sizeOf agreementContent) || exit 1
sleep 1
screenshot agreement

# The success run agrees with the mouse, the failure run from the keyboard alone: Tab moves
# from the text to "I Agree" and Return presses it. Wine now and then gives a window a new X
# window after it first showed: each answer goes to the window that bears the title then.
# The setup window may take a while on a busy machine; keys sent once it is there would go
# to it, so nothing is answered again while it may still come.
main=""
for _ in 1 2 3; do
    agreement=$(waitForWindow "$agreementTitle" 5)
    main=$(waitForWindow "$mainTitle" 1)
    [ -n "$main" ] && break
    if [ -z "$agreement" ]; then
        :
    elif [ "$expect" = success ]; then
        clickInContent "$agreement" $(sizeOf agreementContent) $(centreOf agreeButton)
    else
        xdotool windowfocus --sync "$agreement" 2>/dev/null
        xdotool key Tab sleep 0.3 key Return
    fi
    main=$(waitForWindow "$mainTitle" 20)
    [ -n "$main" ] && break
    echo "note: no setup window 20 s after \"I Agree\", answering again"
done
[ -n "$main" ] || { echo "\"I Agree\" did not bring up the setup window"; exit 1; }
sleep 1
atDesignSize "$main" $(sizeOf setupPanel) || exit 1
screenshot setup-window

box=""
before=$(windowsOfSubstance)
for _ in 1 2 3; do
    main=$(waitForWindow "$mainTitle" 5)
    [ -n "$main" ] || { echo "the setup window has gone before \"Install\""; exit 1; }
    clickInContent "$main" $(sizeOf setupPanel) $(centreOf installButton)
    for _ in $(seq 1 300); do
        [ -n "$(visibleWindows '^!$')" ] && break
        box=$(newBox "$before")
        [ -n "$box" ] && break
        sleep 0.2
    done
    [ -n "$box" ] || [ -n "$(visibleWindows '^!$')" ] && break
    echo "note: nothing happened 60 s after \"Install\", clicking again"
done

warning=$(visibleWindows '^!$' | head -n 1)
if [ "$expect" = failure ]; then
    [ -n "$warning" ] || { echo "no warning box after \"Install\""; exit 1; }
    sleep 1
    screenshot failure
    # Counted by window: a box that took a while to go may be found a second time.
    seen=()
    for _ in 1 2 3 4 5 6; do
        warning=$(waitForWindow '!' 5)
        [ -n "$warning" ] || break
        grep -qx "$warning" <<< "$(printf '%s\n' "${seen[@]}")" || seen+=("$warning")
        dismissBox "$warning" || { echo "a warning box would not close"; exit 1; }
    done
    warnings=${#seen[@]}
    [ "$warnings" = 2 ] || { echo "expected two warning boxes (the failure, then \"Installation aborted\"), saw $warnings (windows ${seen[*]})"; exit 1; }
elif [ -n "$warning" ]; then
    screenshot warning
    echo "a warning box came up instead of the success box (screenshot ${shotPrefix}warning.png)"
    exit 1
else
    [ -n "$box" ] || { echo "no box after \"Install\""; exit 1; }
    echo "box after \"Install\": $(($(date +%s) - started)) s since start"
    sleep 1
    screenshot installation-done

    dismissBox "$box" || { echo "the success box would not close"; exit 1; }
    screenshot after-install
fi

# "Close" has taken the place of "Install".
if ! clickUntilProcessEnds "$appPid" 8 "$main" $(sizeOf setupPanel) $(centreOf installButton); then
    echo "\"Close\" did not end the program"
    exit 1
fi
wait "$appPid"
rc=$?
trap - EXIT
[ $rc = 0 ] || { echo "VOK Setup.exe ended with exit code $rc"; exit 1; }
