#!/usr/bin/env bash
# The installed layout and the Debian package of a build.
#
#   install-test.sh BUILD SAMPLE.mkr PROGRAMS PDFS PNGS MAN   (each ON/OFF: what the build makes)
#
# 1. cmake --install into a temporary prefix: every file of the layout is
#    there, the programs find the library through $ORIGIN/../lib alone.
# 2. cpack -G DEB into a temporary folder, dpkg-deb -x into a scratch root:
#    kvplm --version and kvplm show run from there with nothing of the build
#    tree on the library path; the package's fields and dependencies.
# 3. The desktop entries and metainfo validate; the man pages exist and
#    carry .TH.
# Exit 77 (skipped) when a tool the checks need is missing.
set -uo pipefail
build=$1 sample=$2 programs=$3 pdfs=$4 pngs=$5 man=$6

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/setup.sh installs it)"
    exit 77
  fi
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kvplm-install-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
expect_file() {
  [ -f "$1" ] || fail "missing $1"
}
# Nothing of the build tree may help the programs find their library.
unset LD_LIBRARY_PATH LD_PRELOAD

# --- 1. cmake --install
prefix=$scratch/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log"
  fail "cmake --install"
fi
names=(kvplm kvplm-readersim)
ids=()
if [ "$programs" = ON ]; then
  names+=(Morvane KV_PLM_Programmer)
  ids=(org.kvplm.Morvane org.kvplm.KV_PLM_Programmer)
fi
for name in "${names[@]}"; do
  [ -x "$prefix/bin/$name" ] || fail "missing program bin/$name"
done
expect_file "$prefix/lib/libkvplmlink.so.1"
if [ -f "$prefix/lib/libkvplmlink.so.1" ]; then
  soname=$(objdump -p "$prefix/lib/libkvplmlink.so.1" 2>/dev/null | awk '$1 == "SONAME" { print $2 }')
  [ "$soname" = libkvplmlink.so.1 ] || fail "SONAME is \"$soname\", not libkvplmlink.so.1"
fi
for name in kvplm Morvane KV_PLM_Programmer; do
  [ -f "$prefix/bin/$name" ] || continue
  rpath=$(objdump -p "$prefix/bin/$name" | awk '$1 == "RUNPATH" || $1 == "RPATH" { print $2 }')
  [ "$rpath" = '$ORIGIN/../lib' ] || fail "bin/$name has the run path \"$rpath\""
  # Every library found, the link library in the prefix.
  resolved=$(ldd "$prefix/bin/$name" 2>&1)
  if grep -q "not found" <<<"$resolved"; then fail "bin/$name: $(grep 'not found' <<<"$resolved")"; fi
  grep -q "libkvplmlink.so.1 => $prefix/bin/../lib/libkvplmlink.so.1" <<<"$resolved" ||
    fail "bin/$name does not take the prefix's link library: $(grep kvplmlink <<<"$resolved")"
done
version=$("$prefix/bin/kvplm" --version 2>&1) || fail "prefix kvplm --version: $version"
if [ "$programs" = ON ]; then
  expect_file "$prefix/share/kvplm/KV_PLM_MorvaneEng.rcc"
  expect_file "$prefix/share/kvplm/KV_PLM_ProgrammerEng.rcc"
  # The installed module is the built one.
  cmp -s "$build/bin/KV_PLM_MorvaneEng.rcc" "$prefix/share/kvplm/KV_PLM_MorvaneEng.rcc" ||
    fail "share/kvplm/KV_PLM_MorvaneEng.rcc differs from the build's"
fi
if [ "$pdfs" = ON ]; then
  for pdf in Morvane KV_PLM_Programmer; do
    expect_file "$prefix/share/kvplm/$pdf.pdf"
    head -c 5 "$prefix/share/kvplm/$pdf.pdf" 2>/dev/null | grep -q '^%PDF-' || fail "$pdf.pdf is no PDF"
  done
fi
for id in "${ids[@]}"; do
  expect_file "$prefix/share/applications/$id.desktop"
  expect_file "$prefix/share/metainfo/$id.metainfo.xml"
  expect_file "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
  if [ "$pngs" = ON ]; then
    for size in 16 32 48 64 128 256; do
      png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
      expect_file "$png"
      # A PNG of that size: the width and height of its IHDR chunk.
      dims=$(od -An -tx1 -j16 -N8 "$png" 2>/dev/null | tr -d ' \n')
      [ "$dims" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "$png is not ${size}x${size} ($dims)"
    done
  fi
done
expect_file "$prefix/lib/udev/rules.d/70-kvplm.rules"
grep -q 'TAG+="uaccess"' "$prefix/lib/udev/rules.d/70-kvplm.rules" || fail "the udev rule gives no uaccess"
# Every HID id of the stand-alone HID rule is in the installed rule.
hid_rule=$(dirname "$0")/../../resources/udev/70-kvplm-hid.rules
if [ -f "$hid_rule" ]; then
  while read -r usb_ids; do
    grep -qF "$usb_ids" "$prefix/lib/udev/rules.d/70-kvplm.rules" || fail "70-kvplm.rules lacks $usb_ids"
  done < <(grep -o 'ATTRS{idVendor}=="[0-9a-f]*", ATTRS{idProduct}=="[0-9a-f]*"' "$hid_rule")
fi
expect_file "$prefix/share/bash-completion/completions/kvplm"
bash -n "$prefix/share/bash-completion/completions/kvplm" || fail "the completion is no valid bash"
# The completion offers what the installed kvplm lists, and the words of
# the sub-commands, banks and files.
mkdir -p "$scratch/files" && touch "$scratch/files/a.mkr" "$scratch/files/b.txt"
completions=$(cd "$scratch/files" && PATH="$prefix/bin:$PATH" bash -c '
  source "$1"
  complete_line() {
    COMP_WORDS=("$@") COMP_CWORD=$(($# - 1))
    _kvplm
    echo "$*|${COMPREPLY[*]}"
  }
  complete_line kvplm ""
  complete_line kvplm lan ""
  complete_line kvplm read /dev/ttyS0 ""
  complete_line kvplm show ""
  complete_line kvplm --format ""
  complete_line kvplm program --ver
' _ "$prefix/share/bash-completion/completions/kvplm" 2>&1)
# "WORDS|PATTERN": the completion of WORDS matches the glob PATTERN.
for expected in "kvplm |* show *" "kvplm lan |search show set" "kvplm read /dev/ttyS0 |reserved epc tid user" \
  "kvplm show |a.mkr" "kvplm --format |0 1 2 3" "kvplm program --ver|--verify"; do
  got=$(grep -F -- "${expected%%|*}|" <<<"$completions" | head -1)
  # shellcheck disable=SC2053
  [[ ${got#*|} == ${expected#*|} ]] || fail "completion of \"${expected%%|*}\": \"${got#*|}\""
done
if [ "$man" = ON ]; then
  for name in kvplm "${names[@]:2}"; do
    page=$prefix/share/man/man1/$name.1
    expect_file "$page"
    grep -qi "^\.TH \"\?$name\"\? " "$page" 2>/dev/null || fail "$page has no .TH line for $name"
  done
  grep -q "lan" "$prefix/share/man/man1/kvplm.1" || fail "kvplm.1 does not list the commands"
fi

# --- 2. the Debian package
cpack_dir=$scratch/cpack
if ! (cd "$build" && cpack -G DEB -B "$cpack_dir" >"$scratch/cpack.log" 2>&1); then
  cat "$scratch/cpack.log"
  fail "cpack -G DEB"
fi
deb=$(ls "$cpack_dir"/kvplm_*.deb 2>/dev/null | head -1)
if [ -z "$deb" ]; then
  fail "cpack made no kvplm_*.deb"
  echo "$failures failure(s)"
  exit 1
fi
[ "$(dpkg-deb -f "$deb" Package)" = kvplm ] || fail "package name $(dpkg-deb -f "$deb" Package)"
expected_version=$(sed -n 's/^kvplm \([^ ]*\) .*/\1/p' <<<"$version")
[ "$(dpkg-deb -f "$deb" Version)" = "$expected_version" ] ||
  fail "package version $(dpkg-deb -f "$deb" Version), the program says $expected_version"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libc6" <<<"$depends" || fail "Depends has no libc6 (shlibdeps): $depends"
if [ "$programs" = ON ]; then
  grep -q "libqt6widgets6" <<<"$depends" || fail "Depends has no libqt6widgets6: $depends"
fi
# The package's own library is no dependency.
if grep -q "kvplm" <<<"$depends"; then fail "Depends names the package's own library: $depends"; fi
root=$scratch/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
for name in "${names[@]}"; do
  [ -x "$root/usr/bin/$name" ] || fail "the package has no usr/bin/$name"
done
expect_file "$root/usr/lib/libkvplmlink.so.1"
expect_file "$root/usr/lib/udev/rules.d/70-kvplm.rules"
deb_version=$("$root/usr/bin/kvplm" --version 2>&1)
[ "$deb_version" = "$version" ] || fail "packaged kvplm --version: \"$deb_version\", installed: \"$version\""
grep -q "libkvplmlink.so.1 => $root/usr/bin/../lib/libkvplmlink.so.1" <<<"$(ldd "$root/usr/bin/kvplm")" ||
  fail "the packaged kvplm does not take the package's link library"
if [ "$programs" = ON ]; then
  morvane=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/Morvane" --version 2>&1) ||
    fail "packaged Morvane --version: $morvane"
  grep -q "Morvane" <<<"$morvane" || fail "packaged Morvane --version printed: $morvane"
fi
if ! shown=$("$root/usr/bin/kvplm" show "$sample" 2>&1); then
  fail "packaged kvplm show: $shown"
fi
# The sample's prefix is "AB" (0x41 0x42), ended by 0xFF.
grep -q "Prefix.*41 42 FF" <<<"$shown" || fail "kvplm show printed another prefix block: $shown"
# A missing file: a clear message and a non-zero exit, from the package too.
if "$root/usr/bin/kvplm" show "$scratch/none.mkr" >/dev/null 2>&1; then fail "show of a missing file succeeded"; fi

# --- 3. desktop entries, metainfo, man pages of the package
for id in "${ids[@]}"; do
  desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate $id"
  grep -q "^Name\[de\]=" "$root/usr/share/applications/$id.desktop" || fail "$id.desktop has no Name[de]"
  grep -q "^Comment\[de\]=" "$root/usr/share/applications/$id.desktop" || fail "$id.desktop has no Comment[de]"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$root/usr/share/applications/$id.desktop")
  [ -x "$root/usr/bin/$exec_name" ] || fail "$id.desktop runs $exec_name, which the package lacks"
  appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >"$scratch/as.log" 2>&1 ||
    { cat "$scratch/as.log"; fail "appstreamcli validate $id"; }
done
if [ "$man" = ON ]; then
  for name in kvplm "${names[@]:2}"; do
    page=$root/usr/share/man/man1/$name.1
    [ -f "$page" ] || [ -f "$page.gz" ] || fail "the package has no man page $name(1)"
  done
fi

if ((failures)); then
  echo "$failures failure(s)"
  exit 1
fi
echo "install layout and package: ok ($(basename "$deb"))"
