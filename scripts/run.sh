#!/usr/bin/env bash
# Runs Veltraw as a newcomer would: builds Veltraw.exe, starts a time server of
# its own on loopback (chronyd with -x: it serves its own clock and never
# touches it), starts Xvfb when there is no display, makes that server the
# primary when no server is configured, runs Veltraw under Wine and shows what
# a user would see (the tooltip as it changes, the log and the CSV data file)
# until Ctrl-C; then it stops everything it started.
#
#   scripts/run.sh
#
# Environment:
#   VELTRAW_OUT             build trees and the Wine prefix (default ./out)
#   VELTRAW_SERVER_ADDRESS  the local server's loopback address (default 127.12.3.1)
#   VELTRAW_FREQUENCY       seconds between updates, stored when given
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${VELTRAW_OUT:-$root/out}
run=$out/run
address=${VELTRAW_SERVER_ADDRESS:-127.12.3.1}
key='HKCU\Software\Orvantis\Veltraw'
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

say() { printf '[run] %s\n' "$*"; }

"$root/scripts/install-deps.sh"
mkdir -p "$run"
say "building Veltraw.exe (log: $run/build.log)"
cmake -S "$root" -B "$out/build-win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  >"$run/build.log" 2>&1 || { cat "$run/build.log"; exit 1; }
cmake --build "$out/build-win" -j2 --target Veltraw >>"$run/build.log" 2>&1 ||
  { tail -n 40 "$run/build.log"; exit 1; }
exe=$out/build-win/ui/Veltraw.exe

started_pids=()
chronyd_started=
xvfb_pid=
cleanup() {
  set +e
  trap - INT TERM EXIT
  echo
  if [ -n "${WINEPREFIX:-}" ] && [ -n "${veltraw_pid:-}" ]; then
    say "asking Veltraw to quit"
    wine "$exe" -uninstall </dev/null
    wait "$veltraw_pid" 2>/dev/null
    wineserver -k 2>/dev/null
  fi
  for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
  if [ -n "$chronyd_started" ] && [ -f "$run/chronyd.pid" ]; then
    say "stopping the local time server"
    $sudo kill "$(cat "$run/chronyd.pid")" 2>/dev/null
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  say "stopped"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The local time server: stratum 8 from its own clock, no upstream, no command
# port, and -x so that it never adjusts this machine's clock.
if [ -f "$run/chronyd.pid" ] && $sudo kill -0 "$(cat "$run/chronyd.pid")" 2>/dev/null; then
  $sudo kill "$(cat "$run/chronyd.pid")" 2>/dev/null || true
  sleep 0.5
fi
cat >"$run/chrony.conf" <<CONF
local stratum 8
allow 127.0.0.0/8
bindaddress $address
port 123
cmdport 0
bindcmdaddress /
pidfile $run/chronyd.pid
driftfile $run/chrony.drift
CONF
chronyd=$(command -v chronyd || echo /usr/sbin/chronyd)
say "starting a local time server on $address:123 (chronyd -x)"
$sudo "$chronyd" -x -u root -f "$run/chrony.conf" -l "$run/chronyd.log"
chronyd_started=1

if [ -z "${DISPLAY:-}" ]; then
  for display in $(seq 50 150); do
    [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$run/xvfb.log" 2>&1 </dev/null &
    xvfb_pid=$!
    sleep 1
    kill -0 "$xvfb_pid" 2>/dev/null && break
  done
  export DISPLAY=:$display
  say "no display: Veltraw's icon lives on the virtual display $DISPLAY"
fi

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
# Wine's own TrueType fonts for the dialogs and caption buttons.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi

setting() {
  wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' |
    awk -v n="$1" '$1 == n {sub(/^ *[^ ]+ +[^ ]+ +/, ""); print}'
}
set_text() { wine reg add "$key" /v "$1" /t REG_SZ /d "$2" /f </dev/null >/dev/null; }
set_number() { wine reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f </dev/null >/dev/null; }
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
unixpath() { winepath -u "$1" 2>/dev/null; }

if [ -z "$(setting Server1)" ]; then
  say "no server configured: using the local time server $address"
  set_number Servers 1
  set_text Server1 "$address"
fi
if [ -z "$(setting LogFile)" ]; then
  set_text LogFile "$(winpath "$run/veltraw.log")"
  set_number LogDetails 1
fi
[ -n "$(setting DataFile)" ] || set_text DataFile "$(winpath "$run/data.csv")"
[ -z "${VELTRAW_FREQUENCY:-}" ] || set_number Frequency "$VELTRAW_FREQUENCY"

log_file=$(unixpath "$(setting LogFile)")
data_file=$(unixpath "$(setting DataFile)")
frequency=$(setting Frequency)
say "primary server: $(setting Server1); servers: $(($(setting Servers))); every $((${frequency:-60})) s"
say "log file: $log_file"
say "data file: $data_file"
say "Ctrl-C stops Veltraw and everything this script started"
echo

: >"$run/veltraw.stderr"
# Veltraw never steps this machine's clock under Wine; as root it also runs
# without the right to.
if [ "$(id -u)" -eq 0 ] && command -v capsh >/dev/null; then
  capsh --drop=cap_sys_time -- -c 'exec "$@"' veltraw wine "$exe" >"$run/veltraw.stderr" 2>&1 \
    </dev/null &
else
  wine "$exe" >"$run/veltraw.stderr" 2>&1 </dev/null &
fi
veltraw_pid=$!

follow() {  # label, file
  touch "$2" 2>/dev/null || true
  tail -n 0 -F "$2" 2>/dev/null | sed -u "s/^/$1 /" &
  started_pids+=($!)
}
# The tooltip as the notification area shows it (its line break as " / ").
tail -n +1 -F "$run/veltraw.stderr" 2>/dev/null |
  sed -nu 's/.*Tray tip: \(.*\)$/[tooltip] \1/p' &
started_pids+=($!)
follow "[log]    " "$log_file"
follow "[csv]    " "$data_file"

while kill -0 "$veltraw_pid" 2>/dev/null; do sleep 1; done
say "Veltraw ended"
grep -a "Veltraw Exception\|already an instance" "$run/veltraw.stderr" || true
veltraw_pid=
