#!/usr/bin/env bash
# "vok install" as a command: exit status, the log on stdout, the box texts on stderr, the files
# and the settings it leaves.
#
#   vok_install_cli.sh VOK PACK_DIR
set -euo pipefail

vok=$1
pack=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

run() {  # directory -> sets status; stdout and stderr in $work/out and $work/err
    set +e
    "$vok" install "$1" --user-settings "$work/user/VOK/VOK.settings" --common-settings "$work/common/VOK/VOK.settings" \
        > "$work/out" 2> "$work/err"
    status=$?
    set -e
}

# Success: every file byte for byte, the closing line, nothing on stderr, the path recorded.
dir="$work/VOK Impulses"
run "$dir"
[ "$status" = 0 ] || fail "a successful installation exits with $status"
[ "$(tail -n 1 "$work/out")" = "Installation successfully!" ] || fail "the last line is not \"Installation successfully!\""
[ ! -s "$work/err" ] || fail "stderr is not empty after success: $(cat "$work/err")"
packFiles=$(ls -1 "$pack" | grep -c '\.vok$')
[ "$(grep -c '^Write IR ' "$work/out")" = "$packFiles" ] || fail "not $packFiles \"Write IR \" lines, one per file of the pack"
for file in "$pack"/*.vok; do
    cmp -s "$file" "$dir/$(basename "$file")" || fail "$(basename "$file") differs from the embedded file"
done
for settings in "$work/user/VOK/VOK.settings" "$work/common/VOK/VOK.settings"; do
    [ "$(head -c 4 "$settings")" = PROP ] && grep -aqF "$dir" "$settings" || fail "$settings does not hold the directory"
done

# A plain file where the directory should be: one box, exit 1.
echo "plain" > "$work/plain"
run "$work/plain"
expected="Can't Create Directory $work/plain . Installation aborted.
$work/plain is not a folder"
[ "$status" = 1 ] || fail "a directory that can't be created exits with $status"
[ "$(cat "$work/err")" = "$expected" ] || fail "stderr after the directory failure: $(cat "$work/err")"
grep -qxF "$expected" "$work/out" || fail "the log lacks the directory failure"

# A directory in place of the third file: its box, then "Installation aborted".
dir2="$work/second"
mkdir -p "$dir2/Recording Studio small stereo.vok/inside"
run "$dir2"
[ "$status" = 1 ] || fail "a failing file exits with $status"
printf '%s\n%s\n' "$dir2/Recording Studio small stereo.vok is a Directory" "Installation aborted" > "$work/expected-err"
cmp -s "$work/err" "$work/expected-err" || fail "stderr after the file failure: $(cat "$work/err")"
[ "$(ls -1 "$dir2" | wc -l)" = 3 ] || fail "files after the failing one were written: $(ls -1 "$dir2" | tr '\n' ',')"
! grep -q "Installation successfully!" "$work/out" || fail "a failed installation claims success"

# Wrong use: no directory, an option without its file.
set +e
"$vok" install > /dev/null 2>&1; [ $? = 2 ] || fail "vok install without a directory does not exit with 2"
"$vok" install "$dir" --user-settings > /dev/null 2>&1; [ $? = 2 ] || fail "an option without its file does not exit with 2"
set -e

[ "$failures" = 0 ] || exit 1
echo "vok install: success, both failure paths and wrong use behaved."
