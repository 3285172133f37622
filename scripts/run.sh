#!/usr/bin/env bash
# Sets everything up, builds, starts a simulated reader (with a transponder
# on it) and starts Morvane connected to it. Morvane's settings live in a
# temporary folder for this run; your own settings are not touched.
#
# Without a display ($DISPLAY and $WAYLAND_DISPLAY empty) Morvane runs under
# Xvfb for a few seconds and a screenshot of it is saved; its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

demo=$(mktemp -d)
export KVPLM_SIM_DIR="$demo/sim"
export XDG_CONFIG_HOME="$demo/config"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$demo/runtime"
    mkdir -m 0700 "$XDG_RUNTIME_DIR"
fi
reader="$demo/reader"
coproc SIM { exec build/bin/kvplm-readersim --type 0x302 --minor 5 --link "$reader" --tag 3000112233445566778899AA --quiet; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -rf "$demo"' EXIT
read -r banner <&"${SIM[0]}"
echo "$banner"

# Morvane's stored connection: the simulated reader.
mkdir -p "$XDG_CONFIG_HOME/Norda Applikationen"
printf '[Port]\nName=%s\nBaudrate=19200\nTimeout=500\nAdresse=1\nEthernetAktiv=0\n' "$reader" \
    > "$XDG_CONFIG_HOME/Norda Applikationen/KV-PLM Morvane.conf"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    shot="$PWD/build/morvane-screenshot.png"
    echo "No display found (\$DISPLAY and \$WAYLAND_DISPLAY are empty): running Morvane under Xvfb for a few"
    echo "seconds and saving a screenshot."
    xvfb-run -a -s "-screen 0 1024x768x24" build/bin/Morvane --screenshot "$shot" --quit-after 3000
    echo "Open $shot to see Morvane connected to the simulated reader."
else
    echo "Starting Morvane (connected to the simulated reader; close it to end)."
    build/bin/Morvane
fi
