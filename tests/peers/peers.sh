#!/bin/sh
# Starts or stops the test peers of one build: chronyd on PREFIX.30 and the
# scriptable responder on PREFIX.31 and up, all on port 123 of loopback.
# PREFIX.29 is left without a listener for the refused case.
#   peers.sh start PREFIX STATE_DIR
#   peers.sh stop  PREFIX STATE_DIR
# chronyd runs with -x (it never touches the clock) and its own config, pid
# file and no command port. Peers left over by a crashed run are stopped by
# their pid files before new ones start.
set -eu

action=$1
prefix=$2
mkdir -p "$3"
state=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# The system's interpreter starts fastest; any Python 3 will do.
if [ -z "${PYTHON:-}" ]; then
  if [ -x /usr/bin/python3 ]; then PYTHON=/usr/bin/python3; else PYTHON=python3; fi
fi
python=$PYTHON

# Running and not merely a zombie waiting for its parent to reap it.
alive() {
  kill -0 "$1" 2>/dev/null || return 1
  proc_state=$(sed -n 's/^[0-9]* (.*) \(.\).*/\1/p' "/proc/$1/stat" 2>/dev/null || true)
  [ "$proc_state" != Z ]
}

stop_pidfile() {
  pidfile=$1
  [ -f "$pidfile" ] || return 0
  pid=$(cat "$pidfile" 2>/dev/null || true)
  if [ -n "$pid" ] && alive "$pid"; then
    kill "$pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
      alive "$pid" || break
      sleep 0.1
    done
    alive "$pid" && kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$pidfile"
}

install_chrony() {
  command -v chronyd >/dev/null 2>&1 && return 0
  [ -x /usr/sbin/chronyd ] && return 0
  echo "peers: installing chrony" >&2
  # The package must not start the system's chronyd: that one would set the
  # machine's clock. A policy-rc.d refusing every service start prevents it.
  policy=/usr/sbin/policy-rc.d
  made_policy=
  if [ ! -e $policy ]; then
    printf '#!/bin/sh\nexit 101\n' >$policy && chmod +x $policy && made_policy=1
  fi
  (apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chrony) >&2
  [ -n "$made_policy" ] && rm -f $policy
  return 0
}

case $action in
  start)
    mkdir -p "$state"
    stop_pidfile "$state/chronyd.pid"
    stop_pidfile "$state/responder.pid"
    install_chrony
    chronyd=$(command -v chronyd || echo /usr/sbin/chronyd)
    cat >"$state/chrony.conf" <<CONF
# Serves its own clock as a stratum 8 reference; no upstream, no clock control.
local stratum 8
allow 127.0.0.0/8
bindaddress $prefix.30
port 123
cmdport 0
bindcmdaddress /
pidfile $state/chronyd.pid
driftfile $state/chrony.drift
CONF
    "$chronyd" -4 -x -u root -f "$state/chrony.conf" -L 2 -l "$state/chronyd.log"
    "$python" "$here/sntp_responder.py" --prefix "$prefix" --pidfile "$state/responder.pid" \
      >"$state/responder.log" 2>&1 &
    "$python" "$here/sntp_responder.py" --probe "$prefix.30" "$prefix.31" --within 20
    ;;
  stop)
    stop_pidfile "$state/responder.pid"
    stop_pidfile "$state/chronyd.pid"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX STATE_DIR" >&2
    exit 2
    ;;
esac
