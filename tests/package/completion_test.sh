#!/usr/bin/env bash
# Completes vok command lines as bash would, with the completion the package installs, and
# checks what is offered: the commands, a command's options, and files of the kind each
# argument takes.
# Usage: completion_test.sh COMPLETION-SCRIPT VOK PACK_DIR
set -uo pipefail

script="$(readlink -f "${1:?usage: completion_test.sh COMPLETION-SCRIPT VOK}")"
vok="${2:?}"
pack="${3:?}"
framework=/usr/share/bash-completion/bash_completion
[ -r "$framework" ] || { echo "skipped: bash-completion is not installed (make deps installs it)"; exit 77; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/rooms" "$work/dir"
ln -s "$(readlink -f "$vok")" "$work/bin/vok"
touch "$work/a.vok" "$work/b.wav" "$work/c.flac" "$work/notes.txt"
cp "$pack/Living Room stereo.vok" "$work/rooms/living.vok"
echo "warm" > "$work/rooms/data"
"$vok" add-preset "$work/rooms/living.vok" "My Club" "$work/rooms/data" > /dev/null
"$vok" add-preset "$work/rooms/living.vok" "Mystery" "$work/rooms/data" > /dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs the completion for a command line (the word being completed last) in a new shell.
complete_line() {
    (
        set +u   # as in an interactive shell
        cd "$work" || exit 1
        PATH="$work/bin:$PATH"
        source "$framework"
        source "$script"
        read -r -a COMP_WORDS <<< "$1"
        [[ $1 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="$1"
        COMP_POINT=${#1}
        _vok vok "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf '%s\n' "${COMPREPLY[@]}" | sort
    )
}

expect() {  # command line, then the words expected, in sorted order
    local line=$1 got expected
    shift
    got=$(complete_line "$line" | tr '\n' ' ')
    expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
    [ "$got" = "$expected" ] || fail "\"$line\" offered \"$got\", not \"$expected\""
}

expect "vok to" to-wav
expect "vok in" info install
expect "vok help pre" presets
expect "vok info " a.vok bin dir rooms
expect "vok from-audio " b.wav bin c.flac dir rooms
expect "vok to-wav a.vok " b.wav bin dir rooms
expect "vok install " bin dir rooms
expect "vok install dir --user" --user-settings
expect "vok install dir --user-settings no" notes.txt
expect "vok add-preset a.vok Warm " a.vok b.wav bin c.flac dir notes.txt rooms
expect "vok get-preset rooms/living.vok My" 'My\ Club' Mystery

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "bash completion offers the commands, their options and the files each argument takes"
