#!/usr/bin/env bash
# Times "vok render" against ffmpeg's afir filter doing the same work: a 60 s stereo recording at
# 48 kHz through three true-stereo rooms of the pack, every command once a round, in turns
# (medians, see ../command_pair.sh), target: vok at most 1.0 x ffmpeg's time per room. The two
# outputs must agree within -80 dB (relative RMS error, once their levels are aligned by least
# squares).
#
# Both get the impulse at the recording's rate: the pack's 44.1 kHz paths as vok itself resamples
# them (a click on each side through "vok render"), saved as a 48 kHz impulse file for vok and as
# two stereo WAV files (L->L, L->R and R->L, R->R) for ffmpeg. ffmpeg's graph sends the left input
# through the first and the right through the second and adds the two results; afir's own gain
# (gtype) is off, and the input is padded with the impulse's length so that ffmpeg writes the
# room's tail as vok does.
#
# ffmpeg is installed here when it is missing (make deps leaves it out: only this benchmark uses it).
#
# Usage: run_render.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/../command_pair.sh"
vok="$build/tools/vok"
pack="$build/pack/impulses"
rooms=("Concert Hall Arena" "Church medium" "Club small")

[ -x "$vok" ] || { echo "missing $vok (build the project first)"; exit 1; }
command -v hyperfine > /dev/null || { echo "hyperfine is missing (make deps installs it)"; exit 1; }

if ! command -v ffmpeg > /dev/null; then
    sudo=$([ "$(id -u)" = 0 ] || echo sudo)
    $sudo apt-get update > /dev/null && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends ffmpeg > /dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The recording, written once: pink noise, each side its own, under a slow tremolo.
ffmpeg -v error -filter_complex \
    "anoisesrc=c=pink:r=48000:a=0.25:d=60:seed=1[l];anoisesrc=c=pink:r=48000:a=0.25:d=60:seed=2[r];[l][r]amerge=inputs=2,tremolo=f=1.5:d=0.5" \
    -c:a pcm_f32le "$work/dry.wav"

python3 - "$work" << 'PY'
import struct, sys
def click (path, left, right):
    data = struct.pack ("<ff", left, right)
    header = (b"RIFF" + struct.pack ("<I", 36 + len (data)) + b"WAVEfmt "
              + struct.pack ("<IHHIIHH", 16, 3, 2, 48000, 48000 * 8, 8, 32) + b"data" + struct.pack ("<I", len (data)))
    open (path, "wb").write (header + data)
click (sys.argv[1] + "/click-left.wav", 1.0, 0.0)
click (sys.argv[1] + "/click-right.wav", 0.0, 1.0)
PY

status=0

for room in "${rooms[@]}"; do
    impulse="$pack/$room true stereo.vok"
    [ -e "$impulse" ] || { echo "missing $impulse"; exit 1; }

    "$vok" render "$impulse" "$work/click-left.wav" "$work/from-left.wav"
    "$vok" render "$impulse" "$work/click-right.wav" "$work/from-right.wav"
    ffmpeg -v error -y -i "$work/from-left.wav" -i "$work/from-right.wav" -filter_complex "[0:a][1:a]amerge=inputs=2" \
        -c:a pcm_f32le "$work/paths.wav"
    "$vok" from-audio "$work/paths.wav" "$work/room.vok" > /dev/null

    length=$(ffprobe -v error -select_streams a:0 -count_packets -show_entries stream=duration_ts -of csv=p=0 "$work/from-left.wav")
    graph="[0:a]apad=pad_len=$((length - 1)),asplit=2[a][b];[a]pan=stereo|c0=c0|c1=c0[left];[b]pan=stereo|c0=c1|c1=c1[right]"
    graph+=";[left][1:a]afir=gtype=none:irgain=1:dry=1:wet=1[l];[right][2:a]afir=gtype=none:irgain=1:dry=1:wet=1[r]"
    graph+=";[l][r]amix=inputs=2:normalize=0:duration=longest[out]"

    vok_command="'$vok' render '$work/room.vok' '$work/dry.wav' '$work/vok.wav'"
    ffmpeg_command="ffmpeg -v error -y -i '$work/dry.wav' -i '$work/from-left.wav' -i '$work/from-right.wav' -filter_complex '$graph' -map '[out]' -c:a pcm_f32le '$work/ffmpeg.wav'"
    medians=$(time_commands 7 1 "rm -f '$work/vok.wav' '$work/ffmpeg.wav'" "vok render" "$vok_command" "ffmpeg afir" "$ffmpeg_command")
    read -r vok_ms ffmpeg_ms <<< "$medians"

    # Each command's preparation removed the other's output: both once more, to compare them.
    bash -c "$vok_command" && bash -c "$ffmpeg_command"

    python3 - "$room" "$vok_ms" "$ffmpeg_ms" "$work/vok.wav" "$work/ffmpeg.wav" << 'PY' || status=1
import array, math, struct, sys
room, vok_ms, ffmpeg_ms = sys.argv[1], float (sys.argv[2]), float (sys.argv[3])

def samples (path):
    data = open (path, "rb").read()
    position = 12
    while position < len (data):
        chunk, size = data[position:position + 4], struct.unpack ("<I", data[position + 4:position + 8])[0]
        if chunk == b"data":
            values = array.array ("f")
            values.frombytes (data[position + 8:position + 8 + size])
            return values
        position += 8 + size + (size & 1)
    raise SystemExit ("no samples in " + path)

ours, theirs = samples (sys.argv[4]), samples (sys.argv[5])
length = min (len (ours), len (theirs))
ours, theirs = ours[:length], theirs[:length]
# The level that brings ffmpeg's output closest to ours, then what is left of the difference.
gain = sum (a * b for a, b in zip (ours, theirs)) / sum (b * b for b in theirs)
error = math.sqrt (sum ((a - gain * b) ** 2 for a, b in zip (ours, theirs)) / sum (a * a for a in ours))
error_db = 20 * math.log10 (max (error, 1e-30))

ratio = vok_ms / ffmpeg_ms
met = ratio <= 1.0 and error_db <= -80.0
print ("%-20s vok render %7.1f ms  ffmpeg afir %7.1f ms  ratio %.2f x (target <= 1.00 x)  "
       "agreement %6.1f dB (target <= -80 dB, ffmpeg's level x %.6f)  %s"
       % (room, vok_ms, ffmpeg_ms, ratio, error_db, gain, "met" if met else "MISSED"))
sys.exit (0 if met else 1)
PY
done

exit $status
