#!/bin/sh
# A server name with an IPv6 and an IPv4 address, inside a network namespace
# of this test's own (its own [::1]:123 and 127.0.0.1:123) with a hosts file
# of its own: veltraw-query asks the addresses in the resolver's order until
# one answers, then keeps that one. Nothing reaches the machine's network.
#   dual_stack_netns.sh PATH_TO_VELTRAW_QUERY
# Exits 77 (skipped) where network namespaces cannot be made.
set -eu
query=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib.sh
. "$here/../../scripts/lib.sh"
python=$veltraw_python
veltraw_netns veltraw-ds-$$
printf '::1 dualhost\n127.0.0.1 dualhost\n' >"$state/hosts"

# Runs a command in the namespace, with the hosts file in place of the
# machine's (in a mount namespace of its own: /etc is not touched).
in_ns() {
  ip netns exec "$ns" unshare --mount sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' \
    "$state/hosts" "$@"
}
in_ns ip link set lo up
if ! in_ns ip -6 addr show dev lo | grep -q '::1'; then
  echo "no IPv6 loopback in the namespace: skipped"
  exit 77
fi
first=$(in_ns getent ahosts dualhost | awk 'NR == 1 { print $1 }')
case $first in
  ::1) second=127.0.0.1 ;;
  127.0.0.1) second=::1 ;;
  *) echo "dualhost resolves to '$first' first" >&2; exit 1 ;;
esac
text() { case $1 in *:*) echo "[$1]:123" ;; *) echo "$1:123" ;; esac; }

status=0
# CASE: what listens where (the responder's behaviours: 31 answers, 37 stays
# silent); the address that answers; how many requests went out for two.
run_case() {
  name=$1 listen=$2 answers=$3 sends=$4
  # shellcheck disable=SC2086 # one entry a word
  in_ns "$python" "$here/sntp_responder.py" --serve $listen --pidfile "$state/responder.pid" &
  in_ns "$python" "$here/sntp_responder.py" --probe "$answers" --within 10
  in_ns "$query" dualhost 2 1000 -v >"$state/out" 2>"$state/log" || true
  kill "$(cat "$state/responder.pid")"
  wait
  ok=1
  grep -q "^server dualhost: Ok" "$state/out" || ok=0
  [ "$(grep -cF "TIME PACKET: Host=dualhost ($(text "$answers"))  delta=" "$state/log")" -eq 2 ] || ok=0
  [ "$(grep -cF "Sent Packet to dualhost: " "$state/log")" -eq "$sends" ] || ok=0
  if [ $ok -eq 1 ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name" && cat "$state/out" "$state/log"
    status=1
  fi
}

run_case "the first address answers" "$first=31 $second=31" "$first" 2
run_case "the first is refused: the second is asked at once and kept" "$second=31" "$second" 3
run_case "the first is silent: the second is asked after its share" "$first=37 $second=31" "$second" 3
exit $status
