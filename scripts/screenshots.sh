#!/usr/bin/env bash
# Makes the README's screenshots: the notification-area icon in its four
# states with the tooltip showing, the open menu, the Exit and About dialogs
# and the search for a time server, in Wine's virtual desktop (which has a
# taskbar with a notification area), on a private Xvfb display, against time
# servers on loopback, in a network namespace of its own where it can have one.
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
build=$out/build-win
width=1024
height=768
desktop="/desktop=Veltraw,${width}x${height}"

mkdir -p "$work" "$shots"
exe=$build/ui/Veltraw.exe
driver_exe=$build/tests/ui/e2e/veltraw-driver.exe
if [ -z "${VELTRAW_SHOT_NETNS:-}" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DVELTRAW_TESTS=ON >"$work/cmake.log"
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

xvfb_pid=
cleanup() {
  set +e
  if [ -n "${WINEPREFIX:-}" ]; then
    wine explorer "$desktop" "$exe" -uninstall >/dev/null 2>&1 </dev/null
    wineserver -k 2>/dev/null
  fi
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  sh "$root/tests/peers/peers.sh" stop "$prefix" "$work/peers"
}
trap cleanup EXIT

sh "$root/tests/peers/peers.sh" start "$prefix" "$work/peers"

for display in $(seq 120 220); do
  [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ] && continue
  setsid Xvfb ":$display" -screen 0 "${width}x${height}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 \
    </dev/null &
  xvfb_pid=$!
  sleep 1
  kill -0 "$xvfb_pid" 2>/dev/null && break
done
export DISPLAY=:$display WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$work/wineprefix
rm -rf "$WINEPREFIX"
wineboot --init >"$work/wineboot.log" 2>&1 </dev/null || true
wineserver --wait || true
# Wine's own TrueType fonts (the caption buttons' symbols, the dialog font),
# where every Wine finds them; without them the pictures show stand-ins.
if [ -d /usr/share/wine/fonts ]; then
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi

# Runs in the virtual desktop, where the taskbar and the program are.
in_desktop() { wine explorer "$desktop" "$@" </dev/null; }
# A program started in a virtual desktop that another process holds runs on
# its own: reading its output to the end is what waits for it.
driver() {
  local out
  out=$(in_desktop "$driver_exe" "$@")
  [ -z "$out" ] || printf '%s\n' "$out"
}
clock_safe() {
  if [ "$(id -u)" = 0 ] && command -v capsh >/dev/null; then
    capsh --drop=cap_sys_time -- -c 'exec "$@"' veltraw "$@"
  else
    "$@"
  fi
}

wait_for_line() {
  local pattern=$1
  for _ in $(seq 1 300); do
    grep -aqF -- "$pattern" "$work/veltraw.txt" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "screenshots: no \"$pattern\" from Veltraw" >&2
  exit 1
}

# Starts Veltraw with only a primary server; the previous instance ends first.
start_with_server() {
  local server=$1 requests=$2
  in_desktop "$exe" -uninstall || true
  wine reg delete 'HKCU\Software\Orvantis\Veltraw' /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Orvantis\Veltraw' /v Servers /t REG_DWORD /d 1 /f >/dev/null
  wine reg add 'HKCU\Software\Orvantis\Veltraw' /v Server1 /t REG_SZ /d "$server" /f >/dev/null
  wine reg add 'HKCU\Software\Orvantis\Veltraw' /v Requests /t REG_DWORD /d "$requests" /f \
    >/dev/null
  : >"$work/veltraw.txt"
  clock_safe wine explorer "$desktop" "$exe" >"$work/veltraw.txt" 2>&1 </dev/null &
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
  driver screenshot "Z:$(echo "$work/$name.bmp" | sed 's|/|\\|g')"
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

wait_dialog() { driver wait-dialog "$1" 10000; }

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
driver icon rbuttonup
driver wait-menu 5000
sleep 0.5
shot tray-menu $((width - 300)) $((height - 260)) 300 260
driver key escape

# The Exit dialog opens next to the icon, the About dialog in the middle.
driver command 101
wait_dialog "Exiting Veltraw"
sleep 0.5
dialog_shot exit-dialog "Exiting Veltraw"
driver click "Exiting Veltraw" 2
driver command 100
wait_dialog "About Orvantis Veltraw"
sleep 0.5
dialog_shot about-dialog "About Orvantis Veltraw"
driver click "About Orvantis Veltraw" 1

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
# The search for a time server that a first start without one offers, part
# of the way through the namespace's network.
if [ -n "${VELTRAW_SHOT_NETNS:-}" ]; then
  in_desktop "$exe" -uninstall || true
  wine reg delete 'HKCU\Software\Orvantis\Veltraw' /f >/dev/null 2>&1 || true
  : >"$work/veltraw.txt"
  clock_safe wine explorer "$desktop" "$exe" >"$work/veltraw.txt" 2>&1 </dev/null &
  wait_dialog Veltraw
  driver click-async Veltraw 6
  wait_dialog "Autodetect Mirelock"
  wait_for_line "Requesting time from 10.213.9.40"
  dialog_shot server-search "Autodetect Mirelock"
  driver click "Autodetect Mirelock" 2
fi
echo "screenshots: done"
