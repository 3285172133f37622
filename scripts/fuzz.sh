#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer + ASan + UBSan) into build-fuzz/
# and runs each of them: first over its seed corpus fuzz/corpus/<target>/
# (the regression), then for SECONDS more on new input (default 20; 0 runs
# the corpus only). New inputs go to a scratch folder, not into the tree;
# a crash leaves its input in build-fuzz/crashes/ and fails the run.
#
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi

bash scripts/setup.sh --clang --no-build
jobs=$(nproc 2>/dev/null || echo 2)
build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVPLM_FUZZ=ON
fi
cmake --build "$build" -j "$jobs"

# Every target built (each needs its corpus), or the ones named.
targets=("$@")
if ((${#targets[@]} == 0)); then
  for binary in "$build"/bin/fuzz_*; do targets+=("${binary##*/fuzz_}"); done
fi

# The targets write and read files of their own only under a scratch
# folder, on tmpfs where there is one (the .mkr target saves with fsync).
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base="${TMPDIR:-/tmp}"
scratch="$(mktemp -d -p "$base" kvplm-fuzz.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
mkdir -p "$build/crashes"
# A finding stops the target at once. The quarantine of freed memory is cut
# from 256 to 16 MB: use after free is still caught within the input that
# freed it, and the targets run about twice as fast.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:quarantine_size_mb=16}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=()
for target in "${targets[@]}"; do
  binary="$build/bin/fuzz_$target"
  corpus="fuzz/corpus/$target"
  if [ ! -x "$binary" ] || [ ! -d "$corpus" ]; then
    echo "fuzz: no target $target" >&2
    failed+=("$target")
    continue
  fi
  new="$scratch/new-$target"
  mkdir -p "$new"
  start=$(date +%s)
  # -runs=0: each corpus file once; then the time-limited search.
  args=(-artifact_prefix="$build/crashes/$target-" -timeout=25 -print_final_stats=1)
  if "$binary" "${args[@]}" -runs=0 "$corpus" >"$scratch/$target.log" 2>&1 &&
    { ((seconds == 0)) || "$binary" "${args[@]}" -max_total_time="$seconds" "$new" "$corpus" \
        >>"$scratch/$target.log" 2>&1; }; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$target.log" | tail -1 | grep -o '[0-9]*$')
    echo "fuzz: $target ok ($(($(date +%s) - start)) s, ${runs:-0} inputs, $(ls "$new" | wc -l) new)"
  else
    echo "fuzz: $target FAILED; its log:" >&2
    tail -n 60 "$scratch/$target.log" >&2
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: failed: ${failed[*]} (inputs in $build/crashes/)" >&2
  exit 1
fi
echo "fuzz: all ${#targets[@]} targets passed"
