# Clicking in the real windows with xdotool, for the end-to-end scripts that source this file
# (on Linux and under Wine alike).

# The windows' content sizes and their controls' boxes, from the table the windows are laid
# out by (app/SetupLayout.boxes): one array (x y width height) per box, box_<name as there>.
layoutTable="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/app/SetupLayout.boxes"
while read -r name x y width height; do
    [ -z "$name" ] || [[ "$name" == "#"* ]] && continue
    declare -ga "box_$name=($x $y $width $height)"
done < "$layoutTable"
for name in agreementContent agreeButton agreementCancelButton setupPanel installButton closeButton cancelButton logEditor; do
    declare -p "box_$name" > /dev/null 2>&1 || { echo "no box \"$name\" in $layoutTable" >&2; exit 1; }
done

sizeOf() {        # box name -> its width and height
    local -n box="box_$1"
    echo "${box[2]} ${box[3]}"
}

centreOf() {      # box name -> the x and y of its centre
    local -n box="box_$1"
    echo "$((box[0] + box[2] / 2)) $((box[1] + box[3] / 2))"
}

leftMiddleOf() {  # box name -> the x and y of the middle of its left edge
    local -n box="box_$1"
    echo "${box[0]} $((box[1] + box[3] / 2))"
}

# Sets contentX and contentY to where a window's content of the given size starts on the
# screen: inside its border and below any title bar.
# False when the window has gone (a busy machine may close it between a look and a click).
contentOrigin() {  # window id, content width, content height
    local X Y WIDTH HEIGHT SCREEN geometry
    geometry="$(xdotool getwindowgeometry --shell "$1" 2> /dev/null)" || return 1
    eval "$geometry"
    local border=$(((WIDTH - $2) / 2))
    contentX=$((X + border))
    contentY=$((Y + HEIGHT - $3 - border))
}

# Clicks the way every toolkit here takes them, Wine's included: move, wait, press, wait, release.
clickInContent() {  # window id, content width, content height, x, y (in the content)
    contentOrigin "$1" "$2" "$3" || return 1
    xdotool mousemove $((contentX + $4)) $((contentY + $5)) sleep 0.3 mousedown 1 sleep 0.15 mouseup 1
}

# On a busy machine a click can come before the window takes input; a user would click again,
# and so does this (three times at most). True once the process has ended.
clickUntilProcessEnds() {  # pid, seconds to wait after each click, then the clickInContent arguments
    local pid=$1 seconds=$2
    shift 2
    for _ in 1 2 3; do
        clickInContent "$@"
        for _ in $(seq 1 $((seconds * 10))); do
            kill -0 "$pid" 2> /dev/null || return 0
            sleep 0.1
        done
        echo "note: still running $seconds s after the click, clicking again"
    done
    ! kill -0 "$pid" 2> /dev/null
}

# Waiting for what a step needs rather than for a fixed time: a bounded poll that says what it
# gave up on, so that a failure reads as what did not happen.
waitUntil() {  # seconds, what is awaited (for the message), then the command that is true once it is there
    local seconds=$1 what=$2
    local deadline=$((SECONDS + seconds))
    shift 2
    until "$@"; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "gave up after $seconds s waiting for $what" >&2
            return 1
        fi
        sleep 0.1
    done
}

# The windows of the program started as appPid (of any program while appPid is unset); --all,
# since xdotool otherwise takes a window that has either the title or the process.
visibleWindow() {  # title -> the id of the visible window with exactly this title, or nothing
    xdotool search --all --onlyvisible ${appPid:+--pid "$appPid"} --name "^$1\$" 2> /dev/null | head -n 1 || true
}

# True once the window shows more than one colour: the program has painted it, so its message
# loop runs and a click or a key reaches it.
windowIsDrawn() {  # window id
    local spread
    spread=$(import -window "$1" -colorspace Gray -format '%[fx:standard_deviation]' info: 2> /dev/null) || return 1
    awk -v s="$spread" 'BEGIN { exit !(s > 0.01) }'
}

# A window with exactly this title, mapped and painted; nothing, with the reason, when it did not
# come within the time. Polled rather than one "xdotool search --sync": that search walks the
# window tree once and gives up with an X error when a window goes away under it (the agreement
# closing as the main window opens), long before the time is up.
waitForWindow() {  # title [seconds, 20] -> window id, or nothing
    local seconds=${2:-20} id=""
    local deadline=$((SECONDS + seconds))
    until id="$(visibleWindow "$1")"; [ -n "$id" ]; do
        if [ "$SECONDS" -ge "$deadline" ]; then
            echo "no window \"$1\" within $seconds s" >&2
            return 0
        fi
        sleep 0.1
    done
    if waitUntil "$seconds" "\"$1\" to be drawn" windowIsDrawn "$id"; then
        echo "$id"
    fi
}

windowIsGone() {  # window id
    ! xdotool search --onlyvisible --name '.*' 2> /dev/null | grep -qx "$1"
}

processHasEnded() {  # pid
    ! kill -0 "$1" 2> /dev/null
}
