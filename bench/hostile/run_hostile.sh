#!/usr/bin/env bash
# Reads each hostile impulse file with "vok info" and saves it with "vok resave", imports each
# hostile audio file with "vok from-audio", installs with each hostile settings file as the
# user's settings, and prints a table of their time and peak memory against the bounds: 1 s per MB of input (at least 0.5 s,
# which a process start takes on a busy machine) and twice the input's size plus 64 MB.
#   bench/hostile/run_hostile.sh BUILD_DIR
set -uo pipefail
build_dir=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
vok="$build_dir/tools/vok"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_hostile.py" "$work/in" "$here/../../fuzz/corpus-audio"
status=0
printf '%-32s %-10s %10s %9s %9s %9s %s\n' input command bytes seconds bound_s peak_MB bound_MB
for input in "$work"/in/*; do
    bytes=$(stat -c %s "$input")
    case "$input" in
        *.vok)      commands=(info resave) ;;
        *.settings) commands=(install) ;;
        *)          commands=(from-audio) ;;
    esac
    for command in "${commands[@]}"; do
        args=("$input")
        case "$command" in
            resave|from-audio) args+=("$work/out.vok") ;;
            install) args=("$work/dest" --user-settings "$input" --common-settings "$work/common/VOK.settings") ;;
        esac
        /usr/bin/time -f '%e %M' -o "$work/time" "$vok" "$command" "${args[@]}" > /dev/null 2>&1
        read -r seconds kb < <(tail -n 1 "$work/time")
        bound_s=$(awk -v b="$bytes" 'BEGIN { s = b / 1048576; printf "%.2f", s < 0.5 ? 0.5 : s }')
        bound_mb=$(( 2 * bytes / 1048576 + 64 ))
        verdict=$(awk -v s="$seconds" -v bs="$bound_s" -v m="$kb" -v bm="$bound_mb" \
                  'BEGIN { print (s <= bs && m / 1024 <= bm) ? "ok" : "OVER" }')
        [ "$verdict" = ok ] || status=1
        printf '%-32s %-10s %10s %9s %9s %9d %9s %s\n' "$(basename "$input")" "$command" "$bytes" "$seconds" "$bound_s" \
               $(( kb / 1024 )) "$bound_mb" "$verdict"
        rm -rf "$work/out.vok" "$work/dest" "$work/common"
    done
done
exit $status
