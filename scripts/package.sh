#!/usr/bin/env bash
# Builds the Debian package kvplm_<version>_<arch>.deb and prints its path.
#
#   scripts/package.sh [BUILD_DIR] [OUTPUT_DIR]
#
# BUILD_DIR (default build/) is configured and built when it is not yet
# (scripts/setup.sh installs what that needs, with the tools for the
# manuals, icons and man pages); OUTPUT_DIR defaults to BUILD_DIR/package.
# Install the result with: apt install ./kvplm_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
output=${2:-$build/package}
if [ ! -f "$build/CMakeCache.txt" ]; then
  bash scripts/setup.sh --no-build
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if grep -q '^KVPLM_SANITIZE:STRING=.\+' "$build/CMakeCache.txt"; then
  echo "package: $build is a sanitizer build; package a plain one" >&2
  exit 2
fi
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
mkdir -p "$output"
output=$(cd "$output" && pwd)
(cd "$build" && cpack -G DEB -B "$output" >"$output/cpack.log" 2>&1) || {
  cat "$output/cpack.log" >&2
  exit 1
}
rm -rf "$output/_CPack_Packages"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$(ls -t "$output"/kvplm_"${version}"_*.deb | head -1)
echo "$deb"
