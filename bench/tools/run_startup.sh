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

python3 - "$packagedTime" "$carryingTime" << 'PY'
import sys
packaged, carrying = map (float, sys.argv[1:3])
ratio = packaged / carrying
met = ratio <= 1.2
print ("medians: the package's vok --help %.2f ms, vok --help with the pack inside %.2f ms" % (packaged, carrying))
print ("%-30s %5.2f x  (target <= 1.2 x)  %s" % ("package's vok / vok with pack", ratio, "met" if met else "MISSED"))
sys.exit (0 if met else 1)
PY
