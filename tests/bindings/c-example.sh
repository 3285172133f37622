#!/bin/bash
# The C example against an installed link library: the build installed into
# a scratch prefix, the example built there through pkg-config (plain cc and
# its Makefile) and through find_package(KvplmLink), each run against the
# simulated reader on a pty.
#   c-example.sh BUILD_DIR SOURCE_DIR READERSIM
set -euo pipefail
build=$1 source=$2 readersim=$3

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kvplm-c-example.XXXXXX")
sim_pid=
cleanup() {
    if [[ -n $sim_pid ]]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" --component link > "$scratch/install.log" ||
    { cat "$scratch/install.log" >&2; fail "cmake --install"; }

# The installed layout.
for file in lib/libkvplmlink.so.1.04 lib/libkvplmlink.so.1 lib/libkvplmlink.so include/kvplm/LinkApi.h \
    lib/pkgconfig/kvplm-link.pc lib/cmake/KvplmLink/KvplmLinkConfig.cmake \
    lib/cmake/KvplmLink/KvplmLinkConfigVersion.cmake; do
    [[ -e $prefix/$file ]] || fail "$file is not installed"
done
soname=$(readelf -d "$prefix/lib/libkvplmlink.so.1.04" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[[ $soname == libkvplmlink.so.1 ]] || fail "SONAME is \"$soname\""
[[ $(readlink "$prefix/lib/libkvplmlink.so") == libkvplmlink.so.1 ]] || fail "the .so link"
# Only the C API is exported.
if nm -D --defined-only "$prefix/lib/libkvplmlink.so.1" | awk '$2 ~ /[TDB]/ {print $3}' |
    grep -Ev '^(Link|Read|Write)'; then
    fail "symbols beyond the C API are exported"
fi

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[[ $(pkg-config --modversion kvplm-link) == 1.04 ]] || fail "pkg-config version"
[[ $(pkg-config --variable=prefix kvplm-link) == "$prefix" ]] || fail "pkg-config prefix"

# 1. plain cc with pkg-config; 2. the example's Makefile; 3. its CMake project.
mkdir "$scratch/cc" "$scratch/cmake"
cc -Wall -Wextra -Werror -o "$scratch/cc/link-example" "$source/examples/c/link-example.c" \
    $(pkg-config --cflags --libs kvplm-link) || fail "cc with pkg-config"
cp -r "$source/examples/c" "$scratch/make"
make -s -C "$scratch/make" CFLAGS="-O2 -Wall -Wextra -Werror" > /dev/null || fail "make"
cmake -S "$source/examples/c" -B "$scratch/cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS=-Werror \
    > "$scratch/cmake.log" 2>&1 || { cat "$scratch/cmake.log" >&2; fail "cmake with find_package"; }
cmake --build "$scratch/cmake" > "$scratch/cmake-build.log" 2>&1 ||
    { cat "$scratch/cmake-build.log" >&2; fail "building with find_package"; }

for program in cc/link-example make/link-example cmake/link-example; do
    [[ $(readelf -d "$scratch/$program" | grep -c 'NEEDED.*\[libkvplmlink.so.1\]') == 1 ]] ||
        fail "$program does not need libkvplmlink.so.1"
done

# The simulated programmer with two transponders, its first line awaited (bounded).
device=$scratch/device
coproc SIM { exec "$readersim" --type 0x311 --no-line-time --no-announce --quiet --link "$device" \
    --tag 300833B2DDD9014000000001 --tag E20000000000000000000002; }
sim_pid=$SIM_PID
read -r -t 20 -u "${SIM[0]}" first || fail "the simulator did not start"
[[ $first == "kvplm-readersim: "* ]] || fail "simulator: $first"
model=${first#kvplm-readersim: }
model=${model%% (type*}

export LD_LIBRARY_PATH=$prefix/lib
expected="Library:  1.04
Model:    $model
Type:     0x311
Firmware: V1.05
Transponders: 2
EPC 300833B2DDD9014000000001
EPC E20000000000000000000002"
for program in cc/link-example make/link-example cmake/link-example; do
    output=$(timeout 60 "$scratch/$program" "$device") || fail "$program exited with $?"
    [[ $output == "$expected" ]] || fail "$program printed:
$output"
done

# An empty field, a silent reader, a missing port, wrong arguments.
console() { # COMMAND [REPLY]
    echo "$1" >&"${SIM[1]}"
    local reply
    read -r -t 20 -u "${SIM[0]}" reply || fail "no answer to \"$1\""
    [[ $reply == "${2:-ok}" ]] || fail "\"$1\": $reply"
}
example=$scratch/cc/link-example
console "remove all" "removed 2"
output=$(timeout 60 "$example" "$device") || fail "empty field: exit $?"
[[ $output == *"Transponders: 0" ]] || fail "empty field: $output"

console "fault silence on"
status=0
output=$(timeout 60 "$example" "$device" 2> "$scratch/err") || status=$?
[[ $status == 3 ]] || fail "silent reader: exit $status"
grep -q "^link-example: no reader answered on $device\$" "$scratch/err" || fail "silent reader: $(cat "$scratch/err")"
console "fault silence off"

status=0
timeout 60 "$example" "$scratch/missing" 2> "$scratch/err" || status=$?
[[ $status == 3 ]] || fail "missing port: exit $status"
grep -q "cannot open $scratch/missing: No such file or directory" "$scratch/err" || fail "missing port: $(cat "$scratch/err")"

status=0
timeout 60 "$example" 2> /dev/null || status=$?
[[ $status == 2 ]] || fail "no arguments: exit $status"
status=0
timeout 60 "$example" "$device" fast 2> /dev/null || status=$?
[[ $status == 2 ]] || fail "bad baud: exit $status"

# A reader that refuses the inventory: the reader's status, exit 1.
console "fault status C0 24"
status=0
timeout 60 "$example" "$device" > /dev/null 2> "$scratch/err" || status=$?
[[ $status == 1 ]] || fail "refused inventory: exit $status"
grep -q "^link-example: inventory failed: unknown command (status 24)\$" "$scratch/err" ||
    fail "refused inventory: $(cat "$scratch/err")"
echo "ok"
