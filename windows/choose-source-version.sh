#!/usr/bin/env bash
# Picks, among the versions of a Debian source package that a mirror serves, those that can
# stand in for the installed one, best first: the installed version itself, then the other
# Debian revisions of the same upstream version, newer ones (nearest first) before older ones
# (nearest first). Mirrors drop a revision once a security update replaces it, so the
# installed one is often gone; a newer revision of the same upstream release is what the
# machine's next upgrade brings, while an older one lacks fixes the machine already has.
#
#   apt-cache showsrc NAME | windows/choose-source-version.sh NAME INSTALLED_VERSION
#
# Reads apt-cache's records (only those of source package NAME count) and prints one
# version a line. When no served version shares the installed upstream version, prints
# nothing on standard output, says what was wanted and what is served, and exits with 1.
set -euo pipefail

name=${1:?usage: choose-source-version.sh NAME INSTALLED_VERSION < apt-cache-showsrc-output}
wanted=${2:?usage: choose-source-version.sh NAME INSTALLED_VERSION < apt-cache-showsrc-output}

# [epoch:]upstream[-revision] -> [epoch:]upstream
upstreamOf() {
    case $1 in
        *-*) echo "${1%-*}" ;;
        *) echo "$1" ;;
    esac
}

# Sorts the versions given as arguments in Debian's order, oldest first (a few at most).
sortVersions() {
    local sorted=() v i
    for v in "$@"; do
        i=${#sorted[@]}
        while [ "$i" -gt 0 ] && dpkg --compare-versions "${sorted[i - 1]}" gt "$v"; do
            sorted[i]=${sorted[i - 1]}
            i=$((i - 1))
        done
        sorted[i]=$v
    done
    [ ${#sorted[@]} = 0 ] || printf '%s\n' "${sorted[@]}"
}

mapfile -t served < <(awk -v name="$name" '
    $1 == "Package:" { ours = ($2 == name) }
    ours && $1 == "Version:" && !seen[$2]++ { print $2 }')
mapfile -t served < <(sortVersions ${served[@]+"${served[@]}"})

upstream=$(upstreamOf "$wanted")
newer=()
older=()
exact=
for v in ${served[@]+"${served[@]}"}; do
    [ "$(upstreamOf "$v")" = "$upstream" ] || continue
    if dpkg --compare-versions "$v" eq "$wanted"; then
        exact=$v
    elif dpkg --compare-versions "$v" gt "$wanted"; then
        newer+=("$v")
    else
        older=("$v" ${older[@]+"${older[@]}"})
    fi
done

choice=($exact ${newer[@]+"${newer[@]}"} ${older[@]+"${older[@]}"})
if [ ${#choice[@]} = 0 ]; then
    echo "No source of $name $upstream on the mirror (wanted $wanted; served: ${served[*]:-nothing})." >&2
    exit 1
fi
printf '%s\n' "${choice[@]}"
