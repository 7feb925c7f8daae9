#!/usr/bin/env bash
# Runs the fuzzers of the readers: for each, first every seed of its committed corpus once,
# then a fuzzing run bounded in time that keeps what it finds in the build folder. The
# time is shared: the impulse file reader gets half, the settings reader and audio import
# a quarter each.
#   fuzz/run-fuzzer.sh BUILD_DIR SECONDS [TARGET]
set -euo pipefail
build_dir=$1
seconds=$2
only=${3:-}
source_dir=$(cd "$(dirname "$0")" && pwd)

# target  corpus folder  share of the time (in quarters)  longest input
targets=(
    "fuzz_impulse_file corpus 2 16384"
    "fuzz_plugin_settings corpus-settings 1 16384"
    "fuzz_audio_import corpus-audio 1 16384"
)

for entry in "${targets[@]}"; do
    read -r name corpus quarters max_len <<< "$entry"
    [ -z "$only" ] || [ "$only" = "$name" ] || continue
    share=$(( seconds * quarters / 4 ))
    [ -n "$only" ] && share=$seconds
    work_corpus="$build_dir/$corpus"
    artifacts="$build_dir/artifacts/$name/"
    mkdir -p "$work_corpus" "$artifacts"

    echo "== $name: seeds, then $share s of fuzzing"
    "$build_dir/$name" -artifact_prefix="$artifacts" "$source_dir/$corpus"/*
    "$build_dir/$name" -artifact_prefix="$artifacts" -max_total_time="$share" -max_len="$max_len" -rss_limit_mb=2048 \
        -print_final_stats=1 "$work_corpus" "$source_dir/$corpus"
done
