# Times commands against each other, for the run_*.sh scripts (source it).
#
# hyperfine runs all of one command's runs before the next one's, so a change of load on a
# shared machine between the blocks would show up in their ratios. Here each round runs every
# command once, each after PREPARE, starting one further along the list each round, so that all
# see the same moments; the first WARMUP rounds are not counted.
#
# Usage: time_commands ROUNDS WARMUP PREPARE NAME_1 COMMAND_1 NAME_2 COMMAND_2 [NAME COMMAND ...]
# Prints the medians in milliseconds, in the order given.
time_commands() {
    local rounds=$1 warmup=$2 prepare=$3
    shift 3
    local names=() commands=() times round i count
    while [ $# -ge 2 ]; do
        names+=("$1")
        commands+=("$2")
        shift 2
    done
    count=${#names[@]}
    times=$(mktemp -d)

    for round in $(seq 1 $((warmup + rounds))); do
        local arguments=()
        for i in $(seq 0 $((count - 1))); do
            local k=$(( (i + round) % count ))
            arguments+=(--command-name "${names[$k]}" "${commands[$k]}")
        done

        hyperfine --style none --runs 1 --prepare "$prepare" --export-json "$times/$round.json" "${arguments[@]}" \
                  > /dev/null 2>> "$times/warnings" \
            || { cat "$times/warnings" >&2; rm -rf "$times"; return 1; }

        [ "$round" -gt "$warmup" ] || rm "$times/$round.json"
    done

    # hyperfine's warnings (a command too short for its shell calibration, say) once each.
    grep -v '^ *$' "$times/warnings" | sort -u >&2 || true

    python3 - "$times" "${names[@]}" << 'PY'
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

# Prints two medians and their ratio against its target; false when the target is missed.
# Usage: report_ratio "A / B" TARGET NAME_A MEDIAN_A NAME_B MEDIAN_B
report_ratio() {
    python3 - "$@" << 'PY'
import sys
label, target, name_a, a, name_b, b = sys.argv[1:7]
target, a, b = float (target), float (a), float (b)
ratio = a / b
print ("medians: %s %.2f ms, %s %.2f ms" % (name_a, a, name_b, b))
print ("%-30s %5.2f x  (target <= %g x)  %s" % (label, ratio, target, "met" if ratio <= target else "MISSED"))
sys.exit (0 if ratio <= target else 1)
PY
}
