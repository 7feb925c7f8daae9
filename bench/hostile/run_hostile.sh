#!/usr/bin/env bash
# Reads each hostile input with "vok info" and saves it with "vok resave", and prints a table
# of their time and peak memory against the bounds: 1 s per MB of input (at least 0.5 s,
# which a process start takes on a busy machine) and twice the input's size plus 64 MB.
#   bench/hostile/run_hostile.sh BUILD_DIR
set -uo pipefail
build_dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
vok="$build_dir/tools/vok"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_hostile.py" "$work/in"
status=0
printf '%-26s %-7s %10s %9s %9s %9s %s\n' input command bytes seconds bound_s peak_MB bound_MB
for input in "$work"/in/*.vok; do
    bytes=$(stat -c %s "$input")
    for command in info resave; do
        args=("$input")
        [ "$command" = resave ] && args+=("$work/out.vok")
        /usr/bin/time -f '%e %M' -o "$work/time" "$vok" "$command" "${args[@]}" > /dev/null 2>&1
        read -r seconds kb < <(tail -n 1 "$work/time")
        bound_s=$(awk -v b="$bytes" 'BEGIN { s = b / 1048576; printf "%.2f", s < 0.5 ? 0.5 : s }')
        bound_mb=$(( 2 * bytes / 1048576 + 64 ))
        verdict=$(awk -v s="$seconds" -v bs="$bound_s" -v m="$kb" -v bm="$bound_mb" \
                  'BEGIN { print (s <= bs && m / 1024 <= bm) ? "ok" : "OVER" }')
        [ "$verdict" = ok ] || status=1
        printf '%-26s %-7s %10s %9s %9s %9d %9s %s\n' "$(basename "$input" .vok)" "$command" "$bytes" "$seconds" "$bound_s" \
               $(( kb / 1024 )) "$bound_mb" "$verdict"
        rm -f "$work/out.vok"
    done
done
exit $status
