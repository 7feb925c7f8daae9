#!/usr/bin/env bash
# Several processes add presets to one impulse file while installations run over its folder.
# Every preset that "vok add-preset" reported as added must be in the file or its backup with its
# data, and the file must read.
#
#   concurrent_writers.sh VOK [WRITERS] [PRESETS_PER_WRITER]
set -uo pipefail

vok=$1
writers=${2:-4}
presets=${3:-12}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir="$work/VOK Impulses"
target="$dir/Club small stereo.vok"
settings=(--user-settings "$work/user/VOK/VOK.settings" --common-settings "$work/common/VOK/VOK.settings")

"$vok" install "$dir" "${settings[@]}" > /dev/null || { echo "FAIL: the first installation failed"; exit 1; }

add_presets() {  # writer number; prints the names it was told were added
    for i in $(seq 1 "$presets"); do
        local name="Writer $1 preset $i"
        printf 'data of %s' "$name" > "$work/data.$1"
        if "$vok" add-preset "$target" "$name" "$work/data.$1" 2> "$work/err.$1"; then
            echo "$name"
        else
            echo "refused: $name: $(cat "$work/err.$1")" >&2
        fi
    done > "$work/acknowledged.$1"
}

install_again() {
    for round in 1 2 3; do
        "$vok" install "$dir" "${settings[@]}" > "$work/install.$round" 2>&1 || echo "installation $round failed: $(tail -n 2 "$work/install.$round")" >&2
    done
}

pids=()
for w in $(seq 1 "$writers"); do add_presets "$w" & pids+=($!); done
install_again & pids+=($!)
for pid in "${pids[@]}"; do wait "$pid"; done

failures=0
"$vok" presets "$target" > "$work/final" || { echo "FAIL: the file does not read after the writers met"; exit 1; }
[ -f "$target.setup_backupfile" ] && "$vok" presets "$target.setup_backupfile" >> "$work/final"

acknowledged=0
for w in $(seq 1 "$writers"); do
    while IFS= read -r name; do
        acknowledged=$((acknowledged + 1))
        found=false
        for file in "$target" "$target.setup_backupfile"; do
            [ -f "$file" ] && [ "$("$vok" get-preset "$file" "$name" 2> /dev/null)" = "data of $name" ] && found=true
        done
        $found || { echo "FAIL: \"$name\" was reported as added and is lost"; failures=$((failures + 1)); }
    done < "$work/acknowledged.$w"
done

(( acknowledged > 0 )) || { echo "FAIL: no preset was added at all"; exit 1; }
(( failures == 0 )) || exit 1
echo "PASS: $acknowledged presets added by $writers writers during 3 installations, every one kept"
