#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing), then
# configures and builds everything into build/.
#
#   --clang     also what the sanitizer builds and the fuzz targets need:
#               clang, its sanitizer and libFuzzer run-time libraries, and
#               llvm-symbolizer for readable reports
#   --no-build  install only (scripts/test.sh --sanitize and scripts/fuzz.sh
#               configure build folders of their own)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
  libudev-dev libxkbcommon-dev libxkbcommon-x11-dev libxcb1-dev
  libhidapi-hidraw0
  xvfb xauth fonts-dejavu-core
  python3-markdown weasyprint help2man librsvg2-bin desktop-file-utils appstream python3
)
CLANG_PACKAGES=(clang libclang-rt-14-dev llvm)

build=1
for arg in "$@"; do
  case "$arg" in
  --clang) PACKAGES+=("${CLANG_PACKAGES[@]}") ;;
  --no-build) build=0 ;;
  *)
    echo "usage: scripts/setup.sh [--clang] [--no-build]" >&2
    exit 2
    ;;
  esac
done

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
  "${as_root[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if ((build)); then
  jobs=$(nproc 2>/dev/null || echo 2)
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j "$jobs"
fi
