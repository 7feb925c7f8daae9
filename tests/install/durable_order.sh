#!/usr/bin/env bash
# A reinstall over files with user presets, traced: every new file's data reaches the disk
# before it is renamed over the old file, and the folder's entries reach the disk before the
# backup (the last other copy of the user's presets) is removed. A fresh install flushes nothing.
#
#   durable_order.sh VOK INSTALL-USER-PRESETS
set -euo pipefail

vok=$1
user_presets=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dir="$work/VOK Impulses"
settings=(--user-settings "$work/user/VOK/VOK.settings" --common-settings "$work/common/VOK/VOK.settings")
calls=fdatasync,fsync,rename,renameat,renameat2,unlink,unlinkat,link,linkat

# Where no process may be traced (a container without ptrace), there is nothing to look at:
# skipped, which ctest shows as such (SKIP_RETURN_CODE).
if ! strace -qq -e trace=none -o /dev/null true 2> /dev/null; then
    echo "SKIP: strace can't trace a process here"
    exit 77
fi

strace -f -y -qq -e trace=$calls -o "$work/fresh.trace" "$vok" install "$dir" "${settings[@]}" > /dev/null
"$user_presets" add "$dir" 2 > /dev/null
strace -f -y -qq -e trace=$calls -o "$work/again.trace" "$vok" install "$dir" "${settings[@]}" > /dev/null

python3 - "$work/fresh.trace" "$work/again.trace" <<'PY'
import re, sys

def calls(path):
    for line in open(path, encoding="utf-8", errors="replace"):
        m = re.match(r"\s*\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+)", line)
        if m and m.group(3) == "0":
            yield m.group(1), m.group(2)

def vok_names(arguments):
    return re.findall(r'"([^"]*\.vok[^"]*)"', arguments)

failures = []
fresh = [c for c in calls(sys.argv[1]) if c[0] in ("fdatasync", "fsync") and ".vok" in c[1]]
if fresh:
    failures.append("a fresh install flushed %d impulse files" % len(fresh))

flushed, replaced, folder_synced_after = set(), {}, {}
for name, arguments in calls(sys.argv[2]):
    if name == "fdatasync":
        m = re.search(r"<.*/([^/>]+\.saving)>", arguments)
        if m: flushed.add(m.group(1))
    elif name.startswith("rename"):
        names = vok_names(arguments)
        if len(names) == 2 and names[0].endswith(".saving") and names[1].endswith(".vok"):
            if names[0] not in flushed:
                failures.append("%s replaced %s before its data was flushed" % (names[0], names[1]))
            replaced[names[1]] = True
            folder_synced_after[names[1]] = False
    elif name == "fsync":
        for target in folder_synced_after: folder_synced_after[target] = True
    elif name.startswith("unlink"):
        for removed in vok_names(arguments):
            if removed.endswith(".setup_backupfile"):
                target = removed[: -len(".setup_backupfile")]
                if not folder_synced_after.get(target, False):
                    failures.append("the backup of %s went before the folder was flushed" % target)

if len(replaced) != 24:
    failures.append("the reinstall replaced %d files, not 24" % len(replaced))
for f in failures: print("FAIL:", f)
if failures: sys.exit(1)
print("PASS: 24 replacements flushed before their renames, every backup removed after the folder's flush")
PY
