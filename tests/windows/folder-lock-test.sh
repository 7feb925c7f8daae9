#!/usr/bin/env bash
# One writer at a time: while a second Wine process holds the lock of the folder, as an
# installation or a vok command does while it changes a file there, "vok.exe add-preset"
# waits, adds its preset once the lock is released, and gives up with "Can't lock " + folder
# after its time limit when it never is.
set -uo pipefail
source "$(dirname "$0")/wine-session.sh"

targetWin='C:\VOK Test\Impulses'
installWithUserPreset "$targetWin"

printf 'a later setting' > "$work/later.txt"
addLaterPreset() {  # preset name
    wine "$vokExe" add-preset "$heldWin" "$1" "$(windowsPath "$work/later.txt")"
}

if holdOpen "$targetWin"; then
    addLaterPreset "Added After The Lock" > "$work/waiting.out" 2>&1 &
    waiterPid=$!
    sleep 3
    if kill -0 "$waiterPid" 2>/dev/null && ! hasPreset "$heldWin" "Added After The Lock"; then
        pass "vok.exe add-preset waits while another process holds the lock of $targetWin"
    else
        fail "vok.exe add-preset did not wait for the lock of $targetWin: $(cat "$work/waiting.out")"
    fi
    releaseFile
    wait "$waiterPid"
    rc=$?
    waiterPid=
    if [ $rc = 0 ] && hasPreset "$heldWin" "Added After The Lock" && hasUserPreset "$heldWin"; then
        pass "vok.exe add-preset, lock released: the preset is added beside the user's"
    else
        fail "vok.exe add-preset, lock released: exit code $rc ($(cat "$work/waiting.out")), presets: $(presetsOf "$heldWin" | tr '\n' ' ')"
    fi
fi

if holdOpen "$targetWin"; then
    cp "$held" "$work/before.vok"
    started=$(seconds)
    addLaterPreset "Added Under A Held Lock" > "$work/locked.out" 2>&1
    rc=$?
    waited=$(elapsed "$started")
    expectedMessage="Can't lock $targetWin: another installation or vok command is changing its files"
    if [ $rc = 1 ] && grep -qxF "$expectedMessage" <<< "$(tr -d '\r' < "$work/locked.out")" && cmp -s "$held" "$work/before.vok"; then
        pass "vok.exe add-preset under a lock that is never released: \"$expectedMessage\" after $waited s, the file unchanged"
    else
        fail "vok.exe add-preset under a lock that is never released: exit code $rc after $waited s: $(cat "$work/locked.out")"
    fi
    releaseFile
fi
finishSession
