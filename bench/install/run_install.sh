#!/usr/bin/env bash
# Times "vok install" against its floor (../floors/install_floor.c: the least a safe installer
# must do) and against cp -r of the same 24 files, every command of a case once a round, in
# turns (medians, see ../command_pair.sh):
#   fresh install into an empty directory                                  target: at most 1.1 x cp -r
#   reinstall over files holding 20 user presets the new files lack         target: at most 1.5 x its floor
# and the peak resident memory of the reinstall against the size of the same program doing
# nothing (target: at most 64 MB above it).
#
# Usage: run_install.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/../command_pair.sh"
vok="$build/tools/vok"
floor="$build/bench/floors/install_floor"
user_presets="$build/tests/install/install_user_presets"
pack="$build/pack/impulses"

for needed in "$vok" "$floor" "$user_presets"; do
    [ -x "$needed" ] || { echo "missing $needed (build the project first)"; exit 1; }
done
command -v hyperfine > /dev/null || { echo "hyperfine is missing (make deps installs it)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
settings="--user-settings $work/settings/user/VOK.settings --common-settings $work/settings/common/VOK.settings"

# The directory a user has after installing once and storing 20 presets in every file.
"$vok" install "$work/with-presets" $settings > /dev/null
"$user_presets" add "$work/with-presets" 20

# The pack's 24 files alone, as cp -r copies them.
mkdir "$work/pack" && cp "$pack"/*.vok "$work/pack/"

medians=$(time_commands 20 3 "rm -rf '$work/dest'" \
    "vok install (empty directory)" "'$vok' install '$work/dest' $settings > /dev/null" \
    "its floor" "'$floor' fresh '$work/pack' '$work/dest'" \
    "cp -r of the 24 files" "cp -r '$work/pack' '$work/dest'")
read -r fresh fresh_floor copy <<< "$medians"

medians=$(time_commands 15 2 \
    "rm -rf '$work/dest' '$work/copy' && cp -r '$work/with-presets' '$work/dest'" \
    "vok install (24 files with 20 user presets each)" "'$vok' install '$work/dest' $settings > /dev/null" \
    "its floor" "'$floor' reinstall '$work/pack' '$work/dest'" \
    "cp -r of the 24 files with user presets" "cp -r '$work/with-presets' '$work/copy'")
read -r reinstall reinstall_floor copy_presets <<< "$medians"

# Peak memory: the same program, once doing nothing, once reinstalling. That reinstall must
# have carried every user preset over.
rm -rf "$work/dest" && cp -r "$work/with-presets" "$work/dest"
idle_kb=$(/usr/bin/time -f %M "$vok" --help 2>&1 > /dev/null | tail -n 1)
peak_kb=$(/usr/bin/time -f %M "$vok" install "$work/dest" $settings 2>&1 > /dev/null | tail -n 1)
"$user_presets" check "$work/dest" 20 > /dev/null || { echo "FAIL: the reinstall lost user presets"; exit 1; }

python3 - "$fresh" "$fresh_floor" "$copy" "$reinstall" "$reinstall_floor" "$copy_presets" "$idle_kb" "$peak_kb" << 'PY'
import sys
fresh, fresh_floor, copy, reinstall, reinstall_floor, copy_presets = map (float, sys.argv[1:7])
idle_kb, peak_kb = map (int, sys.argv[7:9])
growth_mb = (peak_kb - idle_kb) / 1024.0
# A target of 0: shown for comparison only.
rows = [("fresh install / cp -r", fresh / copy, 1.1),
        ("fresh install / its floor", fresh / fresh_floor, 0),
        ("fresh install's floor / cp -r", fresh_floor / copy, 0),
        ("reinstall with merging / its floor", reinstall / reinstall_floor, 1.5),
        ("reinstall with merging / cp -r", reinstall / copy_presets, 0),
        ("reinstall's floor / cp -r", reinstall_floor / copy_presets, 0)]
print ("medians: fresh install: vok install %.1f ms, floor %.1f ms, cp -r %.1f ms; "
       "reinstall: vok install %.1f ms, floor %.1f ms, cp -r %.1f ms"
       % (fresh, fresh_floor, copy, reinstall, reinstall_floor, copy_presets))
ok = True
for name, ratio, target in rows:
    met = target == 0 or ratio <= target
    ok = ok and met
    verdict = "(target <= %.2f x)  %s" % (target, "met" if met else "MISSED") if target else ""
    print ("%-36s %5.2f x  %s" % (name, ratio, verdict))
met = growth_mb <= 64.0
ok = ok and met
print ("%-30s %5.1f MB (peak %.1f MB, idle %.1f MB; target <= 64 MB)  %s"
       % ("reinstall memory growth", growth_mb, peak_kb / 1024.0, idle_kb / 1024.0, "met" if met else "MISSED"))
sys.exit (0 if ok else 1)
PY
