#!/usr/bin/env bash
# Makes the README's screenshots: the notification-area icon in its four
# states with the tooltip showing, the open menu, the Exit and About dialogs,
# the Server Configuration dialog with its question, the Log Settings,
# Monitoring and Statistics dialogs, and the test packets dialog after a
# reply, and the search for a time server, in Wine's virtual desktop (which
# has a taskbar with a notification area), on a private Xvfb display, against
# time servers on loopback, in a network namespace of its own where it can
# have one.
#
#   scripts/screenshots.sh            PNGs into docs/screenshots/
#
# Environment: VELTRAW_OUT (default ./out) for the build and the Wine prefix;
# VELTRAW_SHOT_PREFIX (default 127.61.0) for the servers' loopback block.
# Nothing here sets the machine's clock: the time servers run with -x, and
# Veltraw runs without the right to set the clock (and under Wine, which never
# steps the host's clock).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${VELTRAW_OUT:-$root/out}
work=$out/screenshots
shots=$root/docs/screenshots
prefix=${VELTRAW_SHOT_PREFIX:-127.61.0}
build=$out/win  # the test command's Windows build tree
width=1024
height=768
desktop="/desktop=Veltraw,${width}x${height}"

mkdir -p "$work" "$shots"
# shellcheck source=lib.sh
. "$root/scripts/lib.sh"
exe=$build/ui/Veltraw.exe
driver_exe=$build/tests/ui/e2e/veltraw-driver.exe
if [ -z "${VELTRAW_SHOT_NETNS:-}" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >"$work/cmake.log"
  cmake --build "$build" -j2 --target Veltraw veltraw-driver >"$work/build.log"
  # The rest runs in a network namespace of its own, so that the search for
  # a time server probes a network made for it and nothing else.
  if unshare --net true 2>/dev/null; then
    VELTRAW_SHOT_NETNS=1 exec unshare --net "$0" "$@"
  fi
  echo "screenshots: no network namespace here; the server search is left out" >&2
else
  ip link set lo up
  # A network where nobody answers: the other end of the cable has no address.
  ip link add veltraw0 type veth peer name veltraw1
  ip link set veltraw1 up
  ip link set veltraw0 up
  ip addr add 10.213.9.2/24 dev veltraw0
  ip route add 224.0.0.0/4 dev veltraw0
fi

cleanup() {
  set +e
  if [ -n "${WINEPREFIX:-}" ]; then
    wine explorer "$desktop" "$exe" -uninstall >/dev/null 2>&1 </dev/null
    wineserver -k 2>/dev/null
  fi
  veltraw_stop_pidfile "$work/xvfb.pid"
  sh "$root/tests/peers/peers.sh" stop "$prefix" "$work/peers"
}
trap cleanup EXIT

sh "$root/tests/peers/peers.sh" start "$prefix" "$work/peers"
veltraw_xvfb_start "$work" 120 "${width}x${height}"
# A fresh prefix: no settings or windows left from earlier runs in the pictures.
rm -rf "$work/wineprefix"
veltraw_wine_prefix "$work/wineprefix"

# Runs in the virtual desktop, where the taskbar and the program are.
in_desktop() { wine explorer "$desktop" "$@" </dev/null; }
# The desktop's explorer returns as soon as it has started the program;
# reading the program's output to its end waits for the program itself (a
# screenshot read before the driver has written it is empty).
driver() { in_desktop "$driver_exe" "$@" | cat; }

wait_for_line() {
  local pattern=$1
  for _ in $(seq 1 300); do
    grep -aqF -- "$pattern" "$work/veltraw.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "screenshots: no \"$pattern\" from Veltraw" >&2
  exit 1
}

# Starts Veltraw with only a primary server, and any further settings given
# as NAME TYPE VALUE; the previous instance ends first.
start_with_server() {
  local server=$1 requests=$2
  shift 2
  in_desktop "$exe" -uninstall || true
  wine reg delete 'HKCU\Software\Orvantis\Veltraw' /f >/dev/null 2>&1 || true
  set -- Servers REG_DWORD 1 Server1 REG_SZ "$server" Requests REG_DWORD "$requests" "$@"
  while [ $# -ge 3 ]; do
    wine reg add 'HKCU\Software\Orvantis\Veltraw' /v "$1" /t "$2" /d "$3" /f >/dev/null
    shift 3
  done
  : >"$work/veltraw.txt"
  veltraw_without_clock_right wine explorer "$desktop" "$exe" >"$work/veltraw.txt" 2>&1 </dev/null &
}

# The icon sits at the right end of the taskbar, in its last 24 pixels.
icon_x=$((width - 10))
icon_y=$((height - 10))

# A fresh hover, so that the tooltip shows the current text.
hover_icon() {
  driver cursor $((width / 2)) $((height / 2))
  sleep 0.3
  driver cursor $((icon_x - 4)) "$icon_y"
  driver cursor "$icon_x" "$icon_y"
  sleep 1.5
}

shot() {
  local name=$1 left=$2 top=$3 w=$4 h=$5
  # Through a pipe: explorer may return before the program it started has
  # ended, and the pipe's end is when the driver has written the picture.
  driver screenshot "Z:$(echo "$work/$name.bmp" | sed 's|/|\\|g')" | cat
  python3 "$root/scripts/bmp_to_png.py" "$work/$name.bmp" "$shots/$name.png" "$left" "$top" "$w" "$h"
  echo "$shots/$name.png"
}

tray_shot() { shot "$1" $((width - 440)) $((height - 120)) 440 120; }

dialog_shot() {
  local name=$1 caption=$2
  local rect
  rect=$(driver rect "$caption" | tr -d '\r')
  read -r l t r b <<<"$rect"
  shot "$name" $((l - 16)) $((t - 16)) $((r - l + 32)) $((b - t + 32))
}

# The driver's exit code is lost on the way through explorer; its output is not.
wait_dialog() {
  for _ in $(seq 1 100); do
    [ "$(driver dialogs "$1" 1 0 | tr -d '\r')" = 1 ] && return 0
    sleep 0.1
  done
  echo "screenshots: no dialog \"$1\"" >&2
  exit 1
}

# Green: the primary (chronyd) answered.
start_with_server "$prefix.30" 1
wait_for_line "Tray tip: Veltraw using $prefix.30 / PC"
sleep 1
hover_icon
tray_shot tray-good

# The menu, opened where the mouse is, as a right click on the icon does; the
# pointer rests just beside the icon so that no tooltip shows under the menu.
driver cursor $((width / 2)) $((height / 2))
sleep 0.5
driver cursor $((icon_x - 24)) "$icon_y"
driver post rbuttonup
driver menu open 5000
sleep 0.5
shot tray-menu $((width - 300)) $((height - 260)) 300 260
driver key escape

# The Exit dialog opens next to the icon, the About dialog in the middle.
driver post command 101
wait_dialog "Exiting Veltraw"
sleep 0.5
dialog_shot exit-dialog "Exiting Veltraw"
driver click "Exiting Veltraw" 2
driver post command 100
wait_dialog "About Orvantis Veltraw"
sleep 0.5
dialog_shot about-dialog "About Orvantis Veltraw"
driver click "About Orvantis Veltraw" 1

# The Server Configuration dialog with two secondaries, one of them selected;
# then the question for a typed server that does not answer.
wine reg add 'HKCU\Software\Orvantis\Veltraw' /v Server2 /t REG_SZ /d "$prefix.31" /f >/dev/null
wine reg add 'HKCU\Software\Orvantis\Veltraw' /v Server3 /t REG_SZ /d "$prefix.32" /f >/dev/null
wine reg add 'HKCU\Software\Orvantis\Veltraw' /v Servers /t REG_DWORD /d 3 /f >/dev/null
driver post command 104
wait_dialog "Server Configuration"
driver select "Server Configuration" 1003 1
sleep 0.5
dialog_shot server-dialog "Server Configuration"
driver set-text "Server Configuration" 1008 "$prefix.37"
driver click "Server Configuration" 1004
wait_dialog Veltraw
sleep 0.5
dialog_shot server-question Veltraw
driver click Veltraw 7
driver click "Server Configuration" 2

# The output settings, filled in as a user might have them. The dialogs read
# the values when they open; Cancel applies nothing, and no condition set
# here can fire against a primary that answers well.
set_value() { wine reg add 'HKCU\Software\Orvantis\Veltraw' /v "$1" /t "$2" /d "$3" /f >/dev/null; }
set_value LogFile REG_SZ 'C:\Veltraw\veltraw.log'
set_value LogDetails REG_DWORD 1
set_value DataFile REG_SZ 'C:\Veltraw\servers.csv'
driver post command 105
wait_dialog "Log Settings"
sleep 0.5
dialog_shot log-settings-dialog "Log Settings"
driver click "Log Settings" 2
set_value MonitorCommand REG_SZ 'C:\Veltraw\notify.cmd %2 %1 %3'
set_value MonitorLatency REG_DWORD 150
set_value MonitorOnTimeout REG_DWORD 1
set_value MonitorOnBadRef REG_DWORD 1
set_value MonitorOnRecovery REG_DWORD 1
driver post command 109
wait_dialog "Monitoring"
sleep 0.5
dialog_shot monitoring-dialog "Monitoring"
driver click "Monitoring" 2
for value in MonitorOnTimeout MonitorOnBadRef MonitorOnRecovery; do
  set_value $value REG_DWORD 0
done

# The test packets dialog with chronyd's reply, the primary chosen at opening.
driver post command 112
wait_dialog "Send NTP Test Packets"
driver click "Send NTP Test Packets" 1047
for _ in $(seq 1 50); do
  driver text "Send NTP Test Packets" 1046 | grep -q UTC && break
  sleep 0.2
done
sleep 0.5
dialog_shot test-packets-dialog "Send NTP Test Packets"
driver click "Send NTP Test Packets" 2

# Blue, then the "no" sign: a primary that never answers; ten requests of
# 2.5 s each keep the requesting state long enough to look at.
start_with_server "$prefix.37" 10
wait_for_line "Tray tip: Veltraw requesting from $prefix.37"
hover_icon
tray_shot tray-requesting
wait_for_line "Tray tip: Veltraw no response received from $prefix.37"
sleep 0.5
hover_icon
tray_shot tray-no-response

# Red: the primary's reply is no usable time reference.
start_with_server "$prefix.52" 1
wait_for_line "Tray tip: Veltraw got bad time reference from $prefix.52"
sleep 0.5
hover_icon
tray_shot tray-bad-reference

# The statistics of two servers after sixty updates: chronyd, and a responder
# whose offset and round trip vary widely. The timer is set far off and the
# updates are driven one at a time, so that none redraws the dialog while
# the picture is taken.
rows_file=$work/statistics.csv
rm -f "$rows_file"
start_with_server "$prefix.30" 1 Servers REG_DWORD 2 Server2 REG_SZ "$prefix.53" \
  Frequency REG_DWORD 3600 DataFile REG_SZ "Z:$(echo "$rows_file" | sed 's|/|\\|g')"
# Each update adds a row per server to the data file, after its header.
wait_rows() {
  for _ in $(seq 1 300); do
    [ -f "$rows_file" ] && [ "$(wc -l <"$rows_file")" -ge "$1" ] && return 0
    sleep 0.1
  done
  echo "screenshots: the data file has not $1 rows" >&2
  exit 1
}
wait_rows 3
for update in $(seq 2 60); do
  driver post tick
  wait_rows $((2 * update + 1))
done
driver post command 103
wait_dialog "Veltraw Statistics"
sleep 1
dialog_shot statistics-dialog "Veltraw Statistics"
driver click "Veltraw Statistics" 1

# The search for a time server that a first start without one offers, part
# of the way through the namespace's network.
if [ -n "${VELTRAW_SHOT_NETNS:-}" ]; then
  in_desktop "$exe" -uninstall || true
  wine reg delete 'HKCU\Software\Orvantis\Veltraw' /f >/dev/null 2>&1 || true
  : >"$work/veltraw.txt"
  veltraw_without_clock_right wine explorer "$desktop" "$exe" >"$work/veltraw.txt" 2>&1 </dev/null &
  wait_dialog Veltraw
  driver click Veltraw 6
  wait_dialog "Autodetect Mirelock"
  wait_for_line "Requesting time from 10.213.9.40"
  dialog_shot server-search "Autodetect Mirelock"
  driver click "Autodetect Mirelock" 2
fi
echo "screenshots: done"
