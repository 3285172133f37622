#!/usr/bin/env bash
# Sets everything up, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
# Tests never touch the user's settings or real network interfaces.
export XDG_CONFIG_HOME="$(mktemp -d)"
export XDG_RUNTIME_DIR="$(mktemp -d)"
export KVPLM_LAN_BROADCAST=127.255.255.255
export QT_QPA_PLATFORM=offscreen
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
