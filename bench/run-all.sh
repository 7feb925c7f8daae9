#!/usr/bin/env bash
# Runs every benchmark: the Google Benchmark programs named bench_* in the build tree,
# then every bench/*/run_*.sh script (which time whole commands side by side).
set -uo pipefail
build_dir=$(cd "${1:-build}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
status=0
while IFS= read -r program; do
    echo "== $(basename "$program")"
    # Repetitions of all the benchmarks in random order, so that a baseline and what is
    # measured against it see the same moments of a shared machine.
    "$program" --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true \
               --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true || status=1
done < <(find "$build_dir/bench" -type f -name 'bench_*' -perm -u+x | sort)
for script in "$source_dir"/bench/*/run_*.sh; do
    [ -e "$script" ] || continue
    echo "== $(basename "$script")"
    bash "$script" "$build_dir" || status=1
done
exit $status
