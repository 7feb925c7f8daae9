#!/usr/bin/env bash
# Times "vok --help" of the Debian package's vok, which carries no pack (it takes it from the
# installer beside it), against the vok that carries the pack in its own file, as every vok
# did before the package carried the pack once (medians of runs in turns, see
# ../command_pair.sh; target: at most 1.2 x).
#
# Usage: run_startup.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/../command_pair.sh"
carrying="$build/tools/vok"
packaged="$build/tools/without-pack/vok"
for program in "$carrying" "$packaged"; do
    [ -x "$program" ] || { echo "missing $program (build the project first)"; exit 1; }
done
command -v hyperfine > /dev/null || { echo "hyperfine is missing (make deps installs it)"; exit 1; }

pair=$(time_commands 200 20 "true" \
    "the package's vok --help" "'$packaged' --help" \
    "vok --help, pack inside" "'$carrying' --help")
read -r packagedTime carryingTime <<< "$pair"

report_ratio "package's vok / vok with pack" 1.2 "the package's vok --help" "$packagedTime" "vok --help with the pack inside" "$carryingTime"
