# Times two commands against each other, for the run_*.sh scripts (source it).
#
# hyperfine runs all of one command's runs before the other's, so a change of load on a shared
# machine between the two blocks would show up in their ratio. Here each round runs both once,
# in turns (first A then B, then B then A), each after PREPARE, so that both see the same
# moments; the first WARMUP rounds are not counted.
#
# Usage: time_command_pair ROUNDS WARMUP PREPARE NAME_A COMMAND_A NAME_B COMMAND_B
# Prints the two medians in milliseconds, A's first.
time_command_pair() {
    local rounds=$1 warmup=$2 prepare=$3 name_a=$4 command_a=$5 name_b=$6 command_b=$7
    local times round
    times=$(mktemp -d)

    for round in $(seq 1 $((warmup + rounds))); do
        if [ $((round % 2)) -eq 1 ]; then
            set -- --command-name "$name_a" "$command_a" --command-name "$name_b" "$command_b"
        else
            set -- --command-name "$name_b" "$command_b" --command-name "$name_a" "$command_a"
        fi

        hyperfine --style none --runs 1 --prepare "$prepare" --export-json "$times/$round.json" "$@" \
                  > /dev/null 2>> "$times/warnings" \
            || { cat "$times/warnings" >&2; rm -rf "$times"; return 1; }

        [ "$round" -gt "$warmup" ] || rm "$times/$round.json"
    done

    # hyperfine's warnings (a command too short for its shell calibration, say) once each.
    grep -v '^ *$' "$times/warnings" | sort -u >&2 || true

    python3 - "$times" "$name_a" "$name_b" << 'PY'
import glob, json, statistics, sys
folder, names = sys.argv[1], sys.argv[2:]
times = {name: [] for name in names}
for path in glob.glob (folder + "/*.json"):
    for result in json.load (open (path))["results"]:
        times[result["command"]] += result["times"]
print (" ".join ("%.2f" % (statistics.median (times[name]) * 1000) for name in names))
PY
    local status=$?
    rm -rf "$times"
    return $status
}
