# Shared by the run, screenshot and test scripts and the end-to-end tests
# (sourced; POSIX sh): a local time server that never touches the clock, a
# virtual display, a quiet Wine prefix, and running without the right to set
# the clock. Functions only; nothing happens when this file is sourced.

# Binding port 123 takes root: a time server started by an ordinary user goes
# through sudo, and so does stopping it.
veltraw_sudo=
[ "$(id -u)" -eq 0 ] || veltraw_sudo=sudo

# The system's interpreter starts fastest; any Python 3 will do.
if [ -x /usr/bin/python3 ]; then veltraw_python=/usr/bin/python3; else veltraw_python=python3; fi

# Running and not merely a zombie waiting for its parent to reap it.
veltraw_alive() {
  kill -0 "$1" 2>/dev/null || return 1
  veltraw_state=$(sed -n 's/^[0-9]* (.*) \(.\).*/\1/p' "/proc/$1/stat" 2>/dev/null || true)
  [ "$veltraw_state" != Z ]
}

# Stops the process of a pid file (TERM, then KILL after 2 s) and removes it.
veltraw_stop_pidfile() {
  [ -f "$1" ] || return 0
  veltraw_pid=$(cat "$1" 2>/dev/null || true)
  if [ -n "$veltraw_pid" ] && veltraw_alive "$veltraw_pid"; then
    kill "$veltraw_pid" 2>/dev/null || $veltraw_sudo kill "$veltraw_pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
      veltraw_alive "$veltraw_pid" || break
      sleep 0.1
    done
    veltraw_alive "$veltraw_pid" && $veltraw_sudo kill -9 "$veltraw_pid" 2>/dev/null
  fi
  rm -f "$1"
}

# chronyd serving its own clock as a stratum 8 reference on ADDRESS:123 (an
# IPv4 or IPv6 loopback address), with no upstream, no command port and -x, so
# that it never adjusts this machine's clock. Its files and pid file go to
# STATE_DIR.
#   veltraw_chronyd_start ADDRESS STATE_DIR
veltraw_chronyd_start() {
  mkdir -p "$2"
  veltraw_stop_pidfile "$2/chronyd.pid"
  case $1 in
    *:*) veltraw_chronyd_family=-6 veltraw_chronyd_allow=::1/128 ;;
    *) veltraw_chronyd_family=-4 veltraw_chronyd_allow=127.0.0.0/8 ;;
  esac
  cat >"$2/chrony.conf" <<CONF
local stratum 8
allow $veltraw_chronyd_allow
bindaddress $1
port 123
cmdport 0
bindcmdaddress /
pidfile $2/chronyd.pid
driftfile $2/chrony.drift
CONF
  $veltraw_sudo "$(command -v chronyd || echo /usr/sbin/chronyd)" $veltraw_chronyd_family -x -u root \
    -f "$2/chrony.conf" -L 2 -l "$2/chronyd.log"
}

# A network namespace of the calling test's own, named NAME, and a scratch
# folder in $state; both go when the script ends, and so does a responder
# whose pid file is $state/responder.pid. Sets ns and state. Exits 77
# (skipped) where namespaces cannot be made.
#   veltraw_netns NAME
veltraw_netns() {
  ns=$1
  if ! ip netns add "$ns" 2>/dev/null; then
    echo "network namespaces unavailable: skipped"
    exit 77
  fi
  state=$(mktemp -d)
  trap veltraw_netns_remove EXIT INT TERM
}
veltraw_netns_remove() {
  veltraw_stop_pidfile "$state/responder.pid"
  ip netns del "$ns" 2>/dev/null || true
  rm -rf "$state"
}

# A virtual display of its own: the first free one from FIRST (default 90).
# Sets DISPLAY; the server's pid goes to STATE_DIR/xvfb.pid.
#   veltraw_xvfb_start STATE_DIR [FIRST [WIDTHxHEIGHT]]
veltraw_xvfb_start() {
  mkdir -p "$1"
  veltraw_stop_pidfile "$1/xvfb.pid"
  veltraw_display=${2:-90}
  while [ "$veltraw_display" -lt $((${2:-90} + 100)) ]; do
    if [ ! -e "/tmp/.X$veltraw_display-lock" ] && [ ! -e "/tmp/.X11-unix/X$veltraw_display" ]; then
      setsid Xvfb ":$veltraw_display" -screen 0 "${3:-1024x768}x24" -nolisten tcp \
        >"$1/xvfb.log" 2>&1 </dev/null &
      echo $! >"$1/xvfb.pid"
      sleep 1
      if kill -0 "$(cat "$1/xvfb.pid")" 2>/dev/null; then
        DISPLAY=:$veltraw_display
        export DISPLAY
        return 0
      fi
    fi
    veltraw_display=$((veltraw_display + 1))
  done
  echo "no free display for Xvfb" >&2
  return 1
}

# A quiet Wine prefix at DIR (made once), with Wine's own TrueType fonts for
# the dialogs and caption buttons, which Debian's Wine does not copy itself.
#   veltraw_wine_prefix DIR
veltraw_wine_prefix() {
  WINEPREFIX=$1
  WINEDEBUG=${WINEDEBUG:--all}
  WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}  # no Mono or Gecko prompts
  export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1 </dev/null || true
    wineserver --wait || true
  fi
  if [ -d /usr/share/wine/fonts ] && [ -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
}

# Runs a command without the right to set the clock: as root through capsh,
# otherwise as it is (an ordinary user never had the right).
#   veltraw_without_clock_right COMMAND [ARGS...]
veltraw_without_clock_right() {
  if [ "$(id -u)" -eq 0 ] && command -v capsh >/dev/null 2>&1; then
    capsh --drop=cap_sys_time -- -c 'exec "$@"' veltraw "$@"
  else
    "$@"
  fi
}
