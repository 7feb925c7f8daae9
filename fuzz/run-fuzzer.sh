#!/usr/bin/env bash
# Runs the impulse file fuzzer: first every seed of the committed corpus once, then a
# fuzzing run bounded in time that keeps what it finds in the build folder.
#   fuzz/run-fuzzer.sh BUILD_DIR SECONDS
set -euo pipefail
build_dir=$1
seconds=$2
source_dir=$(cd "$(dirname "$0")" && pwd)
fuzzer="$build_dir/fuzz_impulse_file"
work_corpus="$build_dir/corpus"
artifacts="$build_dir/artifacts/"
mkdir -p "$work_corpus" "$artifacts"

"$fuzzer" -artifact_prefix="$artifacts" "$source_dir"/corpus/*
"$fuzzer" -artifact_prefix="$artifacts" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 \
    -print_final_stats=1 "$work_corpus" "$source_dir/corpus"
