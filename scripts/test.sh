#!/usr/bin/env bash
# Sets everything up, builds, and runs every test.
#
#   bash scripts/test.sh                     every test, in build/
#   bash scripts/test.sh --sanitize address  every test under ASan + UBSan, in build-asan/
#   bash scripts/test.sh --sanitize thread   the link library, simulator and command line
#                                            tests under TSan, in build-tsan/
#
# The sanitizer builds use clang and build only the programs their tests
# run. A sanitizer report fails the run even when it comes from a program a
# test started (the command line, the simulated reader): every report is
# written to a folder that must stay empty.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
case "${1:-}" in
"") ;;
--sanitize)
  sanitize="${2:-}"
  [ "$sanitize" = address ] || [ "$sanitize" = thread ] || {
    echo "usage: scripts/test.sh [--sanitize address|thread]" >&2
    exit 2
  }
  ;;
*)
  echo "usage: scripts/test.sh [--sanitize address|thread]" >&2
  exit 2
  ;;
esac

if [ -z "$sanitize" ]; then
  bash scripts/setup.sh
else
  bash scripts/setup.sh --clang --no-build
fi
jobs=$(nproc 2>/dev/null || echo 2)
# Tests never touch the user's settings or real network interfaces.
export XDG_CONFIG_HOME="$(mktemp -d)"
export XDG_RUNTIME_DIR="$(mktemp -d)"
export KVPLM_LAN_BROADCAST=127.255.255.255
export QT_QPA_PLATFORM=offscreen
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"' EXIT

if [ -z "$sanitize" ]; then
  ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
  exit
fi

if [ "$sanitize" = address ]; then
  build=build-asan
else
  build=build-tsan
fi
# -O1 with line tables: whole stacks with file and line in the reports, at
# a good part less compile time than -O2 with full debug information.
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
    -DKVPLM_SANITIZE="$sanitize" -DKVPLM_BENCH=OFF
fi

# What each suite runs: under ASan every test program; under TSan those of
# the link library, the simulator and the command line (the threads are
# the serial port threads, the simulator's, and the programs they start).
# frontend_tests (with the "-" port of the command line) stays out of the
# TSan suite: it starts kvplm through QProcess, whose clone() of its own
# the TSan run-time cannot follow (it stops with "CHECK failed" in
# ForkAfter), in Qt, not in our code.
if [ "$sanitize" = address ]; then
  mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\([A-Za-z0-9_]*_tests\): .*/\1/p')
else
  targets=(linklib_unit_tests linkapi_tests bluetooth_tests hid_tests hid_loader_tests lan_tests kvplm_sim_tests kvplm_sim_lan_tests
    kvplm_sim_hid_tests kvplm_sim_bt_tests setup_sim_tests programmer_cli_tests cli_tests cli_lan_tests cli_bluetooth_module_tests)
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

# ctest runs exactly the tests of those programs: a test file of the suite
# includes their test lists (as each folder's own test file does).
suite="$build/suite"
mkdir -p "$suite"
for target in "${targets[@]}"; do
  find "$PWD/$build/tests" -name "$target\[1\]_include.cmake" -printf 'include("%p")\n'
done >"$suite/CTestTestfile.cmake"

reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# exitcode: a report fails the process with a code no program uses itself.
common="log_path=$PWD/$reports/report:exitcode=86"
if [ "$sanitize" = address ]; then
  export ASAN_OPTIONS="$common:detect_leaks=1:check_initialization_order=1:strict_init_order=1"
  export UBSAN_OPTIONS="$common:print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="$common"
else
  export TSAN_OPTIONS="$common:second_deadlock_stack=1"
fi

status=0
ctest --test-dir "$suite" --output-on-failure -j "$jobs" --timeout 600 || status=$?
if compgen -G "$reports/report*" >/dev/null; then
  echo "test.sh: sanitizer reports ($sanitize):" >&2
  cat "$reports"/report* >&2
  status=1
fi
exit $status
