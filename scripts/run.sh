#!/usr/bin/env bash
# Sets everything up, builds, starts a simulated reader and shows the command
# line talking to it: identify, program a block, read it back.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

demo=$(mktemp -d)
export KVPLM_SIM_DIR="$demo/sim"
reader="$demo/reader"
coproc SIM { exec build/bin/kvplm-readersim --type 0x302 --minor 5 --link "$reader" --quiet; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$demo"' EXIT
read -r banner <&"${SIM[0]}"
echo "$banner"

run() {
    echo
    echo "\$ kvplm $*"
    build/bin/kvplm "$@"
}
run info "$reader"
run --trace transceive "$reader" 82 41 42 0D FF    # write the prefix block: "A", "B", CR
run transceive "$reader" 8A                        # read it back
run transceive "$reader" 89                        # the data format block (factory default)
