#!/usr/bin/env bash
# Takes docs/fleet-table.png: kvplm program --lan-all --verify on a terminal
# against four simulated network readers (one refuses its second block, one
# reads back an empty Suffix), in a network namespace of its own so that no
# datagram leaves it. Run as root from the source folder after a build:
#   unshare -n bash tests/support/fleet-shot.sh [BUILD]
set -euo pipefail
build=${1:-build}
out=docs/fleet-table.png
ip link set lo up
work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run KVPLM_LAN_BROADCAST=127.255.255.255
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  tmux -S "$work/tmux" kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

printf '[Prefix]\r\nCount=1\r\nAscii0=2\r\n[Data]\r\nDarstellung=0\r\nZeichenAnzahl=24\r\n[Suffix]\r\nCount=2\r\nAscii0=13\r\nAscii1=10\r\n[Abziehen]\r\nCount=0\r\n[Termix]\r\nCount=0\r\n' \
  > "$work/lager.mkr"

# Each reader's console is a fifo held open, so that faults can be set.
reader() {
  local name=$1
  shift
  mkfifo "$work/$name.in"
  "$build/bin/kvplm-readersim" --quiet "$@" < "$work/$name.in" > "$work/$name.log" 2>&1 &
  pids+=($!)
  exec {fd}> "$work/$name.in"
  eval "fd_$name=$fd"
}
reader a --lan 127.0.0.2
reader b --lan 127.0.0.3
reader c --lan 127.0.0.4 --lan-dhcp LAGER1
reader d --lan 127.0.0.5 --lan-dhcp LAGER2
echo "fault status 81 5" >&"$fd_b"
echo "fault status 8B 0" >&"$fd_d"
for i in $(seq 50); do
  [ "$("$build/bin/kvplm" lan search 2>/dev/null | wc -l)" -ge 4 ] && break
  sleep 0.1
done

cd "$work"
tmux -S "$work/tmux" new-session -d -x 124 -y 15 \
  "PS1='$ ' bash --norc -i -c 'echo \"\$ kvplm program --lan-all lager.mkr --verify\"; \
   $OLDPWD/$build/bin/kvplm program --lan-all lager.mkr --verify; echo; echo finished; sleep 60'"
for i in $(seq 300); do
  tmux -S "$work/tmux" capture-pane -p | grep -q '^finished' && break
  sleep 0.1
done
tmux -S "$work/tmux" capture-pane -p | sed '/^finished/,$d' > "$work/screen.txt"
cd "$OLDPWD"
QT_QPA_PLATFORM=offscreen "$build/bin/term-shot" "Terminal: kvplm program --lan-all lager.mkr --verify" "$out" < "$work/screen.txt"
cat "$work/screen.txt"
echo "wrote $out"
