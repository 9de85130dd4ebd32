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
#   VELTRAW_RUN_DIR         the run's files: log, data file, servers' state (default $VELTRAW_OUT/run)
#   WINEPREFIX              the Wine prefix, and so the settings (default $VELTRAW_OUT/wineprefix)
#   VELTRAW_SERVER_ADDRESS  the local server's loopback address (default 127.12.3.1)
#   VELTRAW_FREQUENCY       seconds between updates, stored when given
#   VELTRAW_RUN_SECONDS     a bounded run: it ends once the tooltip has shown a
#                           good result and the data file a row, or after this
#                           many seconds, and exits 1 unless both were shown
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${VELTRAW_OUT:-$root/out}
run=${VELTRAW_RUN_DIR:-$out/run}
address=${VELTRAW_SERVER_ADDRESS:-127.12.3.1}
run_seconds=${VELTRAW_RUN_SECONDS:-}
key='HKCU\Software\Orvantis\Veltraw'

say() { printf '[run] %s\n' "$*"; }

"$root/scripts/install-deps.sh"
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"
mkdir -p "$run"
say "building Veltraw.exe (log: $run/build.log)"
# The Windows build tree of the test command, so that both share one build.
cmake -S "$root" -B "$out/win" -G "Unix Makefiles" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$run/build.log" 2>&1 ||
  { cat "$run/build.log"; exit 1; }
cmake --build "$out/win" -j2 --target Veltraw >>"$run/build.log" 2>&1 ||
  { tail -n 40 "$run/build.log"; exit 1; }
exe=$out/win/ui/Veltraw.exe

started_pids=()
chronyd_started=
xvfb_started=
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
  # Each follower is a subshell with a tail and a sed; the tail would wait for
  # its next line.
  for pid in "${started_pids[@]}"; do pkill -P "$pid" 2>/dev/null; kill "$pid" 2>/dev/null; done
  if [ -n "$chronyd_started" ]; then
    say "stopping the local time server"
    veltraw_stop_pidfile "$run/chronyd.pid"
  fi
  [ -n "$xvfb_started" ] && veltraw_stop_pidfile "$run/xvfb.pid"
  say "stopped"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

say "starting a local time server on $address:123 (chronyd -x)"
veltraw_chronyd_start "$address" "$run"
chronyd_started=1

if [ -z "${DISPLAY:-}" ]; then
  veltraw_xvfb_start "$run" 50
  xvfb_started=1
  say "no display: Veltraw's icon lives on the virtual display $DISPLAY"
fi

veltraw_wine_prefix "${WINEPREFIX:-$out/wineprefix}"

# A stored value's text; empty when it is not stored (a fresh prefix has none).
setting() {
  { wine reg query "$key" /v "$1" </dev/null 2>/dev/null || true; } | tr -d '\r' |
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
veltraw_without_clock_right wine "$exe" >"$run/veltraw.stderr" 2>&1 </dev/null &
veltraw_pid=$!

follow() {  # label, file
  touch "$2" 2>/dev/null || true
  (tail -n 0 -F "$2" 2>/dev/null | sed -u "s/^/$1 /") &
  started_pids+=($!)
}
# The tooltip as the notification area shows it (its line break as " / ").
(tail -n +1 -F "$run/veltraw.stderr" 2>/dev/null |
  sed -nu 's/.*Tray tip: \(.*\)$/[tooltip] \1/p') &
started_pids+=($!)
follow "[log]    " "$log_file"
follow "[csv]    " "$data_file"

# A good result in the tooltip and a row in the data file: what a bounded run
# must show.
shown() {
  grep -aq 'Tray tip: Veltraw using ' "$run/veltraw.stderr" &&
    grep -aqv -e '^GMT Time,' -e '^$' "$data_file" 2>/dev/null
}
deadline=
[ -z "$run_seconds" ] || deadline=$((SECONDS + run_seconds))
while veltraw_alive "$veltraw_pid"; do
  if [ -n "$deadline" ] && { shown || [ "$SECONDS" -ge "$deadline" ]; }; then break; fi
  sleep 1
done
if ! veltraw_alive "$veltraw_pid"; then
  say "Veltraw ended"
  grep -a "Veltraw Exception\|already an instance" "$run/veltraw.stderr" || true
  veltraw_pid=
fi
if [ -n "$deadline" ]; then
  if shown; then
    say "bounded run: the tooltip showed a good result and the data file a row"
  else
    say "bounded run: no good result in the tooltip and the data file within $run_seconds s"
    exit 1
  fi
fi
