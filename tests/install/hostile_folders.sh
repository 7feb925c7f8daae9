#!/usr/bin/env bash
# "vok install" and the vok commands that change a file, run against folders that hold what an
# attacker or an unlucky user leaves there. Each row of the table below sets a folder up, runs one
# command and checks its exit status and message, that every user preset and settings key is still
# somewhere, and that nothing outside the folder changed. Rows marked "user" run as an unprivileged
# user (nobody) when the suite runs as root, so that they show what a user sees.
#
#   hostile_folders.sh VOK
set -uo pipefail

vok=$1
work=$(mktemp -d)
trap 'chattr -R -i "$work" 2> /dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0
rows=0

as_root=false
[ "$(id -u)" = 0 ] && as_root=true
unprivileged=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

fail() { echo "FAIL [$row]: $*"; failures=$((failures + 1)); }

# The row's folder, its settings and a folder "outside" with a file someone else owns.
fresh() {
    rm -rf "$work/row"
    mkdir -p "$work/row/VOK Impulses" "$work/row/outside" "$work/row/user" "$work/row/common"
    dir="$work/row/VOK Impulses"
    outside="$work/row/outside"
    user_settings="$work/row/user/VOK/VOK.settings"
    common_settings="$work/row/common/VOK/VOK.settings"
    printf 'private data of someone else\n' > "$outside/secret.vok"
    by=()
}

# The row runs as nobody (when the suite is root): its folders become nobody's.
as_user() {
    if $as_root; then
        chown -R nobody:nogroup "$work/row"
        by=("${unprivileged[@]}")
    fi
}

run() {  # command and arguments; sets status, out, err
    out=$(timeout 60 "${by[@]}" "$vok" "$@" 2> "$work/err")
    status=$?
    err=$(cat "$work/err")
}

install() { run install "$dir" --user-settings "$user_settings" --common-settings "$common_settings"; }

# A pack file with user presets in $dir: installs once, then adds presets User A .. User C.
with_user_presets() {
    "$vok" install "$dir" --user-settings "$user_settings" --common-settings "$common_settings" > /dev/null || fail "set-up install failed"
    target="$dir/Club small stereo.vok"
    for name in A B C; do
        printf 'state of %s' "$name" > "$work/data"
        "$vok" add-preset "$target" "User $name" "$work/data" || fail "set-up add-preset failed"
    done
    $as_root && chown -R nobody:nogroup "$work/row" 2> /dev/null
}

snapshot_outside() { (cd "$outside" && find . -printf '%p %y %s\n' | sort && cat secret.vok) > "$work/outside.before"; }

expect() {  # status message-part
    [ "$status" = "$1" ] || fail "exit status $status, expected $1 (stderr: $err)"
    [ -z "$2" ] || grep -qF -- "$2" <<< "$out$err" || fail "no \"$2\" in the output: $(tail -n 3 <<< "$out$err")"
    if [ "$1" != 0 ] && grep -qx "Installation successfully!" <<< "$out"; then fail "a failure reported success"; fi
    (cd "$outside" && find . -printf '%p %y %s\n' | sort && cat secret.vok) | cmp -s - "$work/outside.before" \
        || fail "something outside the folder changed"
}

# Every user preset of the set-up is in the pack file or its backup, unchanged.
expect_presets_kept() {
    for name in A B C; do
        local found=false
        for file in "$target" "$target.setup_backupfile"; do
            [ -f "$file" ] && [ ! -L "$file" ] && [ "$("$vok" get-preset "$file" "User $name" 2> /dev/null)" = "state of $name" ] && found=true
        done
        $found || fail "preset User $name is lost"
    done
}

expect_settings_key() {  # file key-bytes
    grep -aqF -- "$2" "$1" || fail "$1 lost $2"
}

#==============================================================================
# The rows: name, privileges, set-up, command, expected status and message, further checks.

row_link_at_pack_name() {
    ln -s "$outside/secret.vok" "$dir/Club small stereo.vok"; snapshot_outside
    install; expect 1 "Club small stereo.vok is a link, which is never followed"
    [ -L "$dir/Club small stereo.vok" ] || fail "the link was replaced"
}

row_link_at_backup_name() {
    with_user_presets; ln -s "$outside/secret.vok" "$target.setup_backupfile"; snapshot_outside
    install; expect 1 ".setup_backupfile is a link, which is never followed"
    expect_presets_kept
}

row_dangling_links_at_sibling_names() {
    with_user_presets
    for suffix in .saving .setup_partial .0123456789abcdef.saving; do ln -s "$outside/made by root$suffix" "$target$suffix"; done
    snapshot_outside
    install; expect 0 "Installation successfully!"
    expect_presets_kept
    [ -z "$(find "$outside" -name 'made by root*')" ] || fail "a file was made through a link"
}

# A link re-created in a loop where a writer's sibling used to go, towards a file outside.
row_link_racing_at_sibling_name() {
    with_user_presets; snapshot_outside
    ( for _ in $(seq 1 4000); do ln -sfn "$outside/secret.vok" "$target.saving" 2> /dev/null; rm -f "$target.saving"; done ) &
    local racer=$!
    for i in 1 2 3 4 5 6; do
        printf 'state %s' "$i" > "$work/data"; run add-preset "$target" "Race $i" "$work/data"
        [ "$status" = 0 ] || fail "add-preset failed during the race: $err"
        run resave "$target" "$target"
    done
    install
    wait $racer
    expect 0 "Installation successfully!"
    expect_presets_kept
}

row_fifo_at_pack_name() {
    mkfifo "$dir/Club small stereo.vok"; snapshot_outside
    install; expect 1 "Club small stereo.vok is not a regular file"
}

row_fifo_at_backup_name() {
    with_user_presets; mkfifo "$target.setup_backupfile"; snapshot_outside
    install; expect 1 ".setup_backupfile is not a regular file"
    expect_presets_kept
}

row_socket_at_pack_name() {
    python3 -c 'import socket,sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$dir/Club small stereo.vok"; snapshot_outside
    install; expect 1 "Club small stereo.vok is not a regular file"
}

row_full_disk() {
    with_user_presets; snapshot_outside
    # A file-size limit makes writes fail as a full disk does (the signal it sends is ignored).
    out=$(trap '' XFSZ; ulimit -f 2000; timeout 60 "$vok" install "$dir" --user-settings "$user_settings" --common-settings "$common_settings" 2> "$work/err")
    status=$?; err=$(cat "$work/err")
    expect 1 "Can't write (2) "
    expect_presets_kept
    install; expect 0 "Installation successfully!"
    expect_presets_kept
}

row_junk_settings() {
    mkdir -p "$(dirname "$user_settings")"
    printf 'PROP\377\377\377\377WINDOW_SIZE\000800 600\000' > "$user_settings"; snapshot_outside
    install; expect 1 "can't be read in full; it is left as it is"
    expect_settings_key "$user_settings" "WINDOW_SIZE"
    [ -z "$(ls -A "$dir")" ] || fail "impulse files were written after the settings failed"
}

row_unreadable_settings() {
    mkdir -p "$(dirname "$user_settings")"
    printf 'PROP\001\000\000\000WINDOW_SIZE\000800 600\000' > "$user_settings"
    as_user; chmod 000 "$user_settings"; snapshot_outside
    $as_root || { [ -r "$user_settings" ] && return; }
    install; expect 1 "Can't read the settings file $user_settings"
    chmod 600 "$user_settings"; expect_settings_key "$user_settings" "WINDOW_SIZE"
}

# A pack file the user can't read can't be backed up: nothing is made beside it.
row_unreadable_pack_file() {
    with_user_presets; as_user; chmod 000 "$target"; snapshot_outside
    $as_root || { [ -r "$target" ] && return; }
    install; expect 1 "Can't write backupfile $target.setup_backupfile"
    [ ! -e "$target.setup_backupfile" ] || fail "a backup name was made for a file that can't be read"
    chmod 600 "$target"; expect_presets_kept
}

# A backup of an earlier run that can't be read is named, with advice that can help.
row_unreadable_left_backup() {
    with_user_presets; cp "$target" "$target.setup_backupfile"; as_user; chmod 000 "$target.setup_backupfile"; snapshot_outside
    $as_root || { [ -r "$target.setup_backupfile" ] && return; }
    install; expect 1 "Can't read backupfile $target.setup_backupfile of an earlier installation"
    grep -qF "Move it out of the folder" <<< "$out$err" || fail "no advice to move the backup away"
    ! grep -qF "Close all other audio applications" <<< "$out$err" || fail "advice to close audio applications"
    [ -f "$target.setup_backupfile" ] || fail "the backup is gone"
    chmod 600 "$target.setup_backupfile"; expect_presets_kept
}

row_settings_folder_unwritable() {
    as_user; chmod 555 "$work/row/user"; snapshot_outside
    install; expect 1 "Can't write the settings file $user_settings"
    [ -z "$(ls -A "$dir")" ] || fail "impulse files were written after the settings failed"
}

# Only an administrator can usually write the all-users file: a user's run goes on without it.
row_all_users_settings_folder_unwritable() {
    as_user; chmod 555 "$work/row/common"; snapshot_outside
    install; expect 0 "Can't write the settings file $common_settings"
    expect_settings_key "$user_settings" "VOK Impulses"
    [ -f "$dir/Club small stereo.vok" ] || fail "the pack was not installed"
}

row_full_disk_while_settings_are_written() {
    mkdir -p "$(dirname "$user_settings")"
    printf 'PROP\001\000\000\000WINDOW_SIZE\000800 600\000' > "$user_settings"; snapshot_outside
    out=$(trap '' XFSZ; ulimit -f 0; timeout 60 "$vok" install "$dir" --user-settings "$user_settings" --common-settings "$common_settings" 2> "$work/err")
    status=$?; err=$(cat "$work/err")
    expect 1 "Can't write the settings file $user_settings"
    expect_settings_key "$user_settings" "WINDOW_SIZE"
    [ -z "$(find "$(dirname "$user_settings")" -name '*.saving')" ] || fail "a sibling of the settings file was left"
}

# sudo with the user's HOME: what root creates in the user's folders stays the user's.
row_root_run_in_a_users_home() {
    $as_root || return
    chown nobody:nogroup "$work/row/user"; snapshot_outside
    install; expect 0 "Installation successfully!"
    [ "$(stat -c %U "$work/row/user/VOK")" = nobody ] && [ "$(stat -c %U "$user_settings")" = nobody ] \
        || fail "root left $(stat -c %U "$user_settings") owning the user's settings"
    dir="$work/row/Other Impulses"; mkdir "$dir"; chown nobody:nogroup "$dir" "$work/row/common/VOK" "$common_settings"
    by=("${unprivileged[@]}"); install; expect 0 "Installation successfully!"
    expect_settings_key "$user_settings" "Other Impulses"
}

# An empty HOME must not put the user's settings below the root folder.
row_empty_home() {
    as_user; snapshot_outside
    out=$(HOME= timeout 60 "${by[@]}" "$vok" install "$dir" --common-settings "$common_settings" 2> "$work/err")
    status=$?; err=$(cat "$work/err")
    if $as_root; then
        expect 1 "Can't write the settings file $(getent passwd nobody | cut -d: -f6)/.config/VOK/VOK.settings"
    fi
    [ ! -e /.config/VOK ] || fail "an empty HOME wrote to /.config/VOK"
}

row_read_only_pack_file() {
    with_user_presets; chmod 444 "$target"; snapshot_outside
    install; expect 1 "Can't overwrite $target"
    expect_presets_kept
    run add-preset "$target" "User D" "$work/data"; expect 1 "Can't overwrite $target"
}

row_pack_file_of_another_user() {
    $as_root || return
    with_user_presets; chown root:root "$target"; chmod 644 "$target"; as_user; chown root:root "$target"; snapshot_outside
    install; expect 1 "Can't overwrite $target"
    expect_presets_kept
}

row_read_only_settings_file() {
    "$vok" install "$dir" --user-settings "$user_settings" --common-settings "$common_settings" > /dev/null
    chmod 444 "$user_settings"; dir="$work/row/Other Impulses"; snapshot_outside
    install; expect 1 "Can't overwrite $user_settings"
}

row_non_utf8_directory() {
    dir=$(printf '%s/row/bad\200name' "$work"); snapshot_outside
    install; expect 1 "is not UTF-8 text"
    [ ! -e "$dir" ] && [ ! -e "$user_settings" ] || fail "something was written for a path that is not UTF-8"
}

row_overlong_slash_in_directory() {
    dir=$(printf '%s/row/a\300\257b' "$work"); snapshot_outside
    install; expect 1 "is not UTF-8 text"
    [ ! -e "$work/row/a" ] || fail "an overlong slash made a folder"
}

row_link_as_file_of_add_preset() {
    ln -s "$outside/secret.vok" "$dir/Linked.vok"; printf 'x' > "$work/data"; snapshot_outside
    run add-preset "$dir/Linked.vok" "Hall" "$work/data"; expect 1 "is a link, which is never followed"
}

row_preset_data_the_format_cant_hold() {
    with_user_presets; snapshot_outside
    printf 'bin\000x' > "$work/data"
    run add-preset "$target" "Binary" "$work/data"; expect 1 "holds a zero byte"
    printf '\377\376' > "$work/data"
    run add-preset "$target" "Binary" "$work/data"; expect 1 "is not UTF-8 text"
    "$vok" presets "$target" | grep -qx Binary && fail "refused data was stored"
    expect_presets_kept
}

row_two_installs_at_once() {
    with_user_presets; snapshot_outside
    "$vok" install "$dir" --user-settings "$user_settings" --common-settings "$common_settings" > "$work/first" 2>&1 &
    local first=$!
    install; wait $first; local first_status=$?
    expect 0 "Installation successfully!"
    [ "$first_status" = 0 ] || fail "the other installation failed: $(tail -n 3 "$work/first")"
    expect_presets_kept
}

# name                                   runs as
table=(
    "link_at_pack_name                       root"
    "link_at_backup_name                     root"
    "dangling_links_at_sibling_names         root"
    "link_racing_at_sibling_name             root"
    "fifo_at_pack_name                       root"
    "fifo_at_backup_name                     root"
    "socket_at_pack_name                     root"
    "full_disk                               root"
    "junk_settings                           root"
    "full_disk_while_settings_are_written    root"
    "root_run_in_a_users_home                root"
    "empty_home                              user"
    "unreadable_settings                     user"
    "unreadable_pack_file                    user"
    "unreadable_left_backup                  user"
    "settings_folder_unwritable              user"
    "all_users_settings_folder_unwritable    user"
    "read_only_pack_file                     root"
    "pack_file_of_another_user               user"
    "read_only_settings_file                 root"
    "non_utf8_directory                      root"
    "overlong_slash_in_directory             root"
    "link_as_file_of_add_preset              root"
    "preset_data_the_format_cant_hold        root"
    "two_installs_at_once                    root"
)

for entry in "${table[@]}"; do
    read -r row privileges <<< "$entry"
    fresh
    [ "$privileges" = user ] && as_user
    before=$failures
    "row_$row"
    rows=$((rows + 1))
    [ "$failures" = "$before" ] && echo "ok   $row"
done

if [ "$failures" != 0 ]; then
    echo "$failures failures in $rows rows"
    exit 1
fi

echo "PASS: $rows hostile folders, every preset and key kept, nothing outside touched"
