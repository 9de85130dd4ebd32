#!/bin/sh
# The request series over IPv6, against port 123 of the IPv6 loopback: first
# with nothing listening there (refused), then against the responder, then
# against chronyd -x, one after the other. Only one process can own [::1]:123,
# so every build and checkout on the machine takes turns through one lock
# file.
#   ipv6_loopback.sh STATE_DIR TEST_PROGRAM [RUNNER]
# RUNNER runs the test program (wine for the Windows build). Exits 77
# (skipped) when the machine has no IPv6 loopback, or when something else
# holds [::1]:123.
set -eu
state=$1
program=$2
runner=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib.sh
. "$here/../../scripts/lib.sh"
python=${PYTHON:-$veltraw_python}
mkdir -p "$state"
state=$(cd "$state" && pwd)

exec 9>"${TMPDIR:-/tmp}/veltraw-ipv6-loopback-123.lock"
if ! flock -w 600 9; then
  echo "ipv6: waited 10 minutes for [::1]:123; giving up" >&2
  exit 1
fi

port_state=$("$python" - <<'PY'
import socket
try:
    socket.socket(socket.AF_INET6, socket.SOCK_DGRAM).bind(("::1", 0))
except OSError:
    print("no-loopback")
    raise SystemExit
try:
    socket.socket(socket.AF_INET6, socket.SOCK_DGRAM).bind(("::1", 123))
    print("free")
except OSError:
    print("taken")
PY
)
case $port_state in
  no-loopback)
    echo "this machine has no IPv6 loopback (::1): skipped"
    exit 77
    ;;
  taken)
    echo "[::1]:123 belongs to a server not started by this test: skipped"
    exit 77
    ;;
esac

cleanup() {
  veltraw_stop_pidfile "$state/responder.pid"
  veltraw_stop_pidfile "$state/chronyd.pid"
}
trap cleanup EXIT INT TERM

status=0
phase() {
  echo "== $1 on [::1]:123"
  VELTRAW_IPV6_PEER=$1 $runner "$program" --gtest_filter='RequestSeries.AsksIPv6ServersAsTyped' \
    || status=1
}

phase none

"$python" "$here/sntp_responder.py" --serve ::1=32 --pidfile "$state/responder.pid" \
  >"$state/responder.log" 2>&1 &
"$python" "$here/sntp_responder.py" --probe ::1 --within 20
phase responder
veltraw_stop_pidfile "$state/responder.pid"

veltraw_chronyd_start ::1 "$state"
"$python" "$here/sntp_responder.py" --probe ::1 --within 20
phase chronyd
veltraw_stop_pidfile "$state/chronyd.pid"

exit $status
