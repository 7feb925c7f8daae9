# Clicking in the real windows with xdotool, for the end-to-end scripts that source this file
# (on Linux and under Wine alike).

# The windows' content sizes and their controls' boxes, from the table the windows are laid
# out by (app/SetupLayout.boxes): one array (x y width height) per box, box_<name as there>.
layoutTable="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/app/SetupLayout.boxes"
while read -r name x y width height; do
    [ -z "$name" ] || [[ "$name" == "#"* ]] && continue
    declare -ga "box_$name=($x $y $width $height)"
done < "$layoutTable"
for name in agreementContent agreeButton agreementCancelButton setupPanel installButton cancelButton logEditor; do
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
