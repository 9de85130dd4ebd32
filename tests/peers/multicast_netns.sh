#!/bin/sh
# The multicast path of a request series, inside a network namespace of this
# test's own: a responder joins 224.0.1.1 on the namespace's loopback and
# veltraw-query asks the group. Nothing reaches the machine's own network.
#   multicast_netns.sh PATH_TO_VELTRAW_QUERY
# Exits 77 (skipped) where network namespaces cannot be made.
set -eu
query=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib.sh
. "$here/../../scripts/lib.sh"
python=$veltraw_python
group=224.0.1.1
veltraw_netns veltraw-mc-$$

in_ns() { ip netns exec "$ns" "$@"; }
in_ns ip link set lo up
in_ns ip link set lo multicast on
in_ns ip route add 224.0.0.0/4 dev lo
in_ns "$python" "$here/sntp_responder.py" --serve "$group=31" --pidfile "$state/responder.pid" &
in_ns "$python" "$here/sntp_responder.py" --probe "$group" --within 10

in_ns "$query" "$group" 1 1000 -v >"$state/out" 2>"$state/log" || true
cat "$state/out"
status=0
grep -q "^server $group: Ok" "$state/out" || status=1
# The result names the group; the log line names the member that answered.
grep -q "TIME PACKET: Host=$group (127.0.0.1:123)  delta=" "$state/log" || status=1
grep -q "Sent Packet to $group: " "$state/log" || status=1
[ $status -eq 0 ] || cat "$state/log"
exit $status
