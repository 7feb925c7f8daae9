#!/usr/bin/env bash
# Which served source revision the Windows library build takes in place of the installed
# one, fed apt-cache showsrc records as the mirror would give them; no network.
#
# Usage: choose-source-version-test.sh
set -uo pipefail

chooser=$(cd "$(dirname "$0")/../../windows" && pwd)/choose-source-version.sh

# showsrc records for NAME, one per version given ("OTHER-NAME=VERSION" for another package).
records() {
    local name=$1 v
    shift
    for v in "$@"; do
        if [[ $v == *=* ]]; then
            printf 'Package: %s\nBinary: %s-dev\nVersion: %s\nFormat: 3.0 (quilt)\n\n' "${v%%=*}" "${v%%=*}" "${v#*=}"
        else
            printf 'Package: %s\nBinary: %s-dev, %s-tools\nVersion: %s\nFormat: 3.0 (quilt)\n\n' "$name" "$name" "$name" "$v"
        fi
    done
}

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
passed=0
failed=0

# case | package | installed version | served versions | expected output: versions best first,
# or "fails:" and words the message must name
cases=(
    "exact revision served|libpng1.6|1.6.39-2+deb12u4|1.6.39-2+deb12u3 1.6.39-2+deb12u5 1.6.39-2+deb12u4|1.6.39-2+deb12u4 1.6.39-2+deb12u5 1.6.39-2+deb12u3"
    "only newer revisions|libpng1.6|1.6.39-2+deb12u4|1.6.39-2+deb12u6 1.6.39-2+deb12u5|1.6.39-2+deb12u5 1.6.39-2+deb12u6"
    "only older revisions|libogg|1.3.5-3+deb12u2|1.3.5-2 1.3.5-3+deb12u1 1.3.5-3|1.3.5-3+deb12u1 1.3.5-3 1.3.5-2"
    "revisions ordered as Debian orders them|flac|1.4.2+ds-2+deb12u9|1.4.2+ds-2+deb12u10 1.4.2+ds-2+deb12u8~1 1.4.2+ds-2+deb12u8|1.4.2+ds-2+deb12u10 1.4.2+ds-2+deb12u8 1.4.2+ds-2+deb12u8~1"
    "epoch kept apart from upstream|libjpeg-turbo|1:2.1.5-2|2.1.5-3 1:2.1.5-2+deb12u1|1:2.1.5-2+deb12u1"
    "native package|googletest|1.12.1|1.12.1 1.13.0|1.12.1"
    "a different upstream only|libpng1.6|1.6.39-2+deb12u4|1.6.40-1 1.6.38-1|fails: 1.6.39-2+deb12u4 1.6.40-1 1.6.38-1"
    "same version of another package only|libpng1.6|1.6.39-2|libpng1.6-extra=1.6.39-2|fails: 1.6.39-2 nothing"
    "nothing served|libvorbis|1.3.7-1||fails: 1.3.7-1 nothing"
)

for c in "${cases[@]}"; do
    IFS='|' read -r what name installed served expected <<< "$c"
    # shellcheck disable=SC2086 # the served versions are words
    output=$(records "$name" $served | "$chooser" "$name" "$installed" 2> "$errors")
    rc=$?
    message=$(cat "$errors")
    got=$(tr '\n' ' ' <<< "$output" | sed 's/ $//')
    ok=yes
    if [[ $expected == fails:* ]]; then
        [ "$rc" != 0 ] && [ -z "$output" ] || ok=no
        for word in ${expected#fails:}; do
            grep -qF -- "$word" <<< "$message" || ok=no
        done
    else
        [ "$rc" = 0 ] && [ "$got" = "$expected" ] || ok=no
    fi
    if [ $ok = yes ]; then
        echo "PASS: $what"
        passed=$((passed + 1))
    else
        echo "FAIL: $what: installed $installed, served [$served]: expected \"$expected\", got \"$got\" (exit code $rc) $message"
        failed=$((failed + 1))
    fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
