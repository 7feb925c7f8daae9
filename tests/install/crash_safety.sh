#!/usr/bin/env bash
# Kills "vok install" with SIGKILL at many moments of a reinstall over files that hold user
# presets, completes the installation after each kill, and checks that no user preset was lost.
#
#   crash_safety.sh VOK INSTALL_USER_PRESETS [KILLS]
set -euo pipefail

vok=$1
user_presets=$2
kills=${3:-50}
presets_per_file=5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir="$work/VOK Impulses"
settings=(--user-settings "$work/user/VOK/VOK.settings" --common-settings "$work/common/VOK/VOK.settings")

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

install_to_completion() {
    if ! "$vok" install "$dir" "${settings[@]}" > "$work/log" 2>&1; then
        echo "FAIL: the installation did not complete $1"
        tail -20 "$work/log"
        exit 1
    fi
}

install_to_completion "into an empty directory"
"$user_presets" add "$dir" "$presets_per_file"
"$user_presets" check "$dir" "$presets_per_file" > /dev/null

start=$(now_ms)
install_to_completion "over the user's files"
duration=$(( $(now_ms) - start ))
echo "one reinstall takes ${duration} ms; killing at $kills moments spread over it"

killed=0
attempts=0
took_over=0
while (( killed < kills && attempts < 3 * kills )); do
    # Evenly spread over the run, shifted a little on every round so that later rounds
    # land on moments the earlier ones missed.
    delay_ms=$(( duration * ((attempts % kills) * 1000 + 500 + (attempts / kills) * 333) / (kills * 1000) ))
    attempts=$(( attempts + 1 ))

    "$vok" install "$dir" "${settings[@]}" > /dev/null 2>&1 &
    pid=$!
    sleep "$(printf '%d.%03d' $(( delay_ms / 1000 )) $(( delay_ms % 1000 )))"

    if kill -0 "$pid" 2> /dev/null && kill -KILL "$pid" 2> /dev/null; then
        killed=$(( killed + 1 ))
    fi
    wait "$pid" 2> /dev/null || true

    install_to_completion "after a kill at ${delay_ms} ms"
    if grep -q '^Found backupfile of an earlier installation' "$work/log"; then
        took_over=$(( took_over + 1 ))
    fi

    if ! "$user_presets" check "$dir" "$presets_per_file" > "$work/check"; then
        echo "FAIL: user presets lost after a kill at ${delay_ms} ms"
        grep -v '^[0-9]* files checked' "$work/check" | head -20
        exit 1
    fi

    # A killed save leaves its ".saving" sibling, which the completed run removes under the
    # folder's lock; only the lock file itself stays beside the impulse files.
    leftovers=$(find "$dir" -mindepth 1 ! -name '*.vok' ! -name '.vok-writer.lock' -printf '%f\n')
    if [[ -n "$leftovers" ]]; then
        echo "FAIL: files left beside the impulse files after a completed installation:"
        echo "$leftovers" | head -10
        exit 1
    fi
done

saving=$(find "$dir" -mindepth 1 -name '*.saving' | wc -l)
(( saving == 0 )) || echo "note: $saving '.saving' files of killed saves are left in the directory"

if (( killed < kills )); then
    echo "FAIL: only $killed of $attempts kills hit a running installation"
    exit 1
fi

echo "PASS: $killed kills during the installation ($took_over left a backup for the next run), every user preset of every file kept"
