#!/usr/bin/env bash
# Times "vok add-preset" on a 4-channel impulse file of 383,477 samples per channel against a
# cp of the same file (medians of runs in turns, see ../command_pair.sh; target: at most
# 1.3 x cp). The samples are copied as the file stores them, so adding a preset costs about a
# copy of the file.
#
# Usage: run_add_preset.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/../command_pair.sh"
vok="$build/tools/vok"
[ -x "$vok" ] || { echo "missing $vok (build the project first)"; exit 1; }
command -v hyperfine > /dev/null || { echo "hyperfine is missing (make deps installs it)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 4-channel room of 383,477 frames, as a 32-bit float WAV, made into an impulse file.
python3 - "$work/room.wav" << 'PY'
import math, random, struct, sys, wave
frames, channels = 383477, 4
random.seed (42)
data = bytearray ()
for i in range (frames):
    decay = math.exp (-i / 80000.0)
    for c in range (channels):
        data += struct.pack ("<h", int ((random.random () * 2 - 1) * decay * 32000))
with wave.open (sys.argv[1], "wb") as out:
    out.setnchannels (channels); out.setsampwidth (2); out.setframerate (48000)
    out.writeframes (bytes (data))
PY
"$vok" from-audio "$work/room.wav" "$work/room.vok" > /dev/null
printf 'state of a user preset %.0s' $(seq 1 40) > "$work/preset.txt"

pair=$(time_commands 30 3 "cp '$work/room.vok' '$work/target.vok'; rm -f '$work/copy.vok'" \
    "vok add-preset (4 x 383,477 samples)" "'$vok' add-preset '$work/target.vok' 'User 1' '$work/preset.txt'" \
    "cp of the file" "cp '$work/room.vok' '$work/copy.vok'")
read -r add copy <<< "$pair"

cp "$work/room.vok" "$work/target.vok"
"$vok" add-preset "$work/target.vok" "User 1" "$work/preset.txt"
"$vok" get-preset "$work/target.vok" "User 1" | cmp -s - "$work/preset.txt" || { echo "FAIL: the preset was not stored"; exit 1; }

report_ratio "add-preset / cp" 1.3 "vok add-preset" "$add" "cp" "$copy"
