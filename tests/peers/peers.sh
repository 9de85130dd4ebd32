#!/bin/sh
# Starts or stops the test peers of one build: chronyd on PREFIX.30 and the
# scriptable responder on PREFIX.31 and up, all on port 123 of loopback.
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
# shellcheck source=../../scripts/lib.sh
. "$here/../../scripts/lib.sh"
python=${PYTHON:-$veltraw_python}

case $action in
  start)
    mkdir -p "$state"
    veltraw_stop_pidfile "$state/responder.pid"
    if ! command -v chronyd >/dev/null 2>&1 && [ ! -x /usr/sbin/chronyd ]; then
      echo "peers: chronyd is missing; scripts/install-deps.sh installs it" >&2
      exit 1
    fi
    veltraw_chronyd_start "$prefix.30" "$state"
    "$python" "$here/sntp_responder.py" --prefix "$prefix" --pidfile "$state/responder.pid" \
      >"$state/responder.log" 2>&1 &
    "$python" "$here/sntp_responder.py" --probe "$prefix.30" "$prefix.31" --within 20
    ;;
  stop)
    veltraw_stop_pidfile "$state/responder.pid"
    veltraw_stop_pidfile "$state/chronyd.pid"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX STATE_DIR" >&2
    exit 2
    ;;
esac
