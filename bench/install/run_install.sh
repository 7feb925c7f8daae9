#!/usr/bin/env bash
# Times "vok install" against cp of the same 24 files (medians of one hyperfine run each):
#   fresh install into an empty directory            target: at most 1.5 x cp
#   reinstall over files holding 20 user presets      target: at most 6 x cp
#     the new files lack (backup, read, write, read, merge, save for all 24)
# and the peak resident memory of the reinstall against the size of the same program doing
# nothing (target: at most 64 MB above it).
#
# Usage: run_install.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
vok="$build/tools/vok"
user_presets="$build/tests/install/install_user_presets"
pack="$build/pack/impulses"

for needed in "$vok" "$user_presets"; do
    [ -x "$needed" ] || { echo "missing $needed (build the project first)"; exit 1; }
done
command -v hyperfine > /dev/null || { echo "hyperfine is missing (make deps installs it)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
settings="--user-settings $work/settings/user/VOK.settings --common-settings $work/settings/common/VOK.settings"

# The directory a user has after installing once and storing 20 presets in every file.
"$vok" install "$work/with-presets" $settings > /dev/null
"$user_presets" add "$work/with-presets" 20

median_ms() {  # hyperfine json, command index
    python3 -c 'import json, statistics, sys
r = json.load (open (sys.argv[1]))["results"][int (sys.argv[2])]
print ("%.1f" % (statistics.median (r["times"]) * 1000))' "$1" "$2"
}

hyperfine --style basic --warmup 3 --runs 20 --export-json "$work/fresh.json" \
    --prepare "rm -rf '$work/dest'" \
    --command-name "vok install (empty directory)" "'$vok' install '$work/dest' $settings > /dev/null" \
    --command-name "cp of the 24 files (empty directory)" "mkdir '$work/dest' && cp '$pack'/*.vok '$work/dest/'"

hyperfine --style basic --warmup 2 --runs 15 --export-json "$work/reinstall.json" \
    --prepare "rm -rf '$work/dest' && cp -r '$work/with-presets' '$work/dest'" \
    --command-name "vok install (24 files with 20 user presets each)" "'$vok' install '$work/dest' $settings > /dev/null"

# The reinstall must have carried every user preset over.
"$user_presets" check "$work/dest" 20 > /dev/null || { echo "FAIL: the reinstall lost user presets"; exit 1; }

fresh=$(median_ms "$work/fresh.json" 0)
copy=$(median_ms "$work/fresh.json" 1)
reinstall=$(median_ms "$work/reinstall.json" 0)

# Peak memory: the same program, once doing nothing, once reinstalling.
rm -rf "$work/dest" && cp -r "$work/with-presets" "$work/dest"
idle_kb=$(/usr/bin/time -f %M "$vok" --help 2>&1 > /dev/null | tail -n 1)
peak_kb=$(/usr/bin/time -f %M "$vok" install "$work/dest" $settings 2>&1 > /dev/null | tail -n 1)

python3 - "$fresh" "$copy" "$reinstall" "$idle_kb" "$peak_kb" << 'PY'
import sys
fresh, copy, reinstall = map (float, sys.argv[1:4])
idle_kb, peak_kb = map (int, sys.argv[4:6])
growth_mb = (peak_kb - idle_kb) / 1024.0
rows = [("fresh install / cp", fresh / copy, 1.5),
        ("reinstall with merging / cp", reinstall / copy, 6.0)]
print ("medians: vok install fresh %.1f ms, reinstall %.1f ms, cp %.1f ms" % (fresh, reinstall, copy))
ok = True
for name, ratio, target in rows:
    met = ratio <= target
    ok = ok and met
    print ("%-30s %5.2f x  (target <= %.1f x)  %s" % (name, ratio, target, "met" if met else "MISSED"))
met = growth_mb <= 64.0
ok = ok and met
print ("%-30s %5.1f MB (peak %.1f MB, idle %.1f MB; target <= 64 MB)  %s"
       % ("reinstall memory growth", growth_mb, peak_kb / 1024.0, idle_kb / 1024.0, "met" if met else "MISSED"))
sys.exit (0 if ok else 1)
PY
