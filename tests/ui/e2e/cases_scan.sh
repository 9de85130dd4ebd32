# The local time-server search, started as a user starts it (the first-run
# question of a program without a server), on networks of the test's own: two
# network namespaces joined by a veth pair, "pc" where Veltraw runs and "lan"
# where responders answer on chosen addresses. Wine makes its sockets in
# wineserver, so the pc namespace has a Wine prefix and a wineserver of its
# own, and every Wine command of these cases runs inside it. Nothing is sent
# on the machine's own interfaces. Sourced by e2e.sh.
# e2e fixture: scan
# e2e cases: scan_appliance scan_generic scan_none scan_abort

scan_state() { echo "$state/scan"; }

fixture_scan_setup() {
  local dir id=$$
  dir=$(scan_state)
  fixture_scan_teardown # what a crashed run left
  mkdir -p "$dir"
  local pc=veltraw-scan-$id-pc lan=veltraw-scan-$id-lan
  if ! ip netns add "$pc" 2>/dev/null; then
    touch "$dir/unavailable"
    echo "network namespaces unavailable (ip netns add failed): skipped"
    exit 77
  fi
  printf 'scan_pc=%s\nscan_lan=%s\nscan_pc_if=vsc%sp\nscan_lan_if=vsc%sl\n' \
    "$pc" "$lan" "$id" "$id" >"$dir/env.sh"
  # shellcheck disable=SC1091
  . "$dir/env.sh"
  ip netns add "$scan_lan"
  # Made right inside the namespaces: the machine's own never sees them.
  ip link add "$scan_pc_if" netns "$scan_pc" type veth peer name "$scan_lan_if" netns "$scan_lan"
  ip -n "$scan_pc" link set lo up
  ip -n "$scan_lan" link set lo up
  ip -n "$scan_pc" link set "$scan_pc_if" up
  ip -n "$scan_lan" link set "$scan_lan_if" up
  ip netns exec "$scan_pc" env WINEPREFIX="$dir/wineprefix" \
    sh -c 'wineboot --init; wineserver --wait' >"$dir/wineboot.log" 2>&1 </dev/null || true
  [ -f "$dir/wineprefix/system.reg" ] || fail "no Wine prefix in the namespace"
}

fixture_scan_teardown() {
  local dir
  dir=$(scan_state)
  if [ -f "$dir/env.sh" ]; then
    # shellcheck disable=SC1091
    . "$dir/env.sh"
    veltraw_stop_pidfile "$dir/responder.pid"
    ip netns exec "$scan_pc" env WINEPREFIX="$dir/wineprefix" wineserver -k 2>/dev/null || true
    local ns pid
    for ns in "$scan_pc" "$scan_lan"; do
      # Whatever of ours is still in there (a Wine program of a failed case).
      for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
      ip netns del "$ns" 2>/dev/null || true
    done
  fi
  rm -rf "$dir"
}

# Reruns the case inside the pc namespace, with the namespace's Wine prefix,
# and starts it afresh there.
scan_enter() {
  local dir
  dir=$(scan_state)
  if [ -f "$dir/unavailable" ]; then
    echo "network namespaces unavailable: skipped"
    exit 77
  fi
  [ -f "$dir/env.sh" ] || fail "the scan fixture has not run (ui_e2e_scan_setup)"
  # shellcheck disable=SC1091
  . "$dir/env.sh"
  if [ "${VELTRAW_SCAN_INSIDE:-}" != "$scan_pc" ]; then
    exec ip netns exec "$scan_pc" env VELTRAW_SCAN_INSIDE="$scan_pc" bash "$0" "$action" "$state"
  fi
  export WINEPREFIX=$dir/wineprefix
  trap 'veltraw_stop_pidfile "$(scan_state)/responder.pid"' EXIT
  fresh_case "$action"
}

# The PC's addresses (with prefix lengths), those of the LAN, and responders
# there as ADDRESS=OCTET (the behaviours of tests/peers/sntp_responder.py; a
# group address is joined).
scan_network() {
  local pc_addresses=$1 lan_addresses=$2 address dir
  shift 2
  dir=$(scan_state)
  veltraw_stop_pidfile "$dir/responder.pid"
  ip -n "$scan_pc" addr flush dev "$scan_pc_if" scope global
  ip -n "$scan_lan" addr flush dev "$scan_lan_if" scope global
  ip -n "$scan_pc" neigh flush dev "$scan_pc_if"
  for address in $pc_addresses; do ip -n "$scan_pc" addr add "$address" dev "$scan_pc_if"; done
  for address in $lan_addresses; do ip -n "$scan_lan" addr add "$address" dev "$scan_lan_if"; done
  # The NTP group goes over the veth pair (the flush took the routes along).
  ip -n "$scan_pc" route replace 224.0.0.0/4 dev "$scan_pc_if"
  ip -n "$scan_lan" route replace 224.0.0.0/4 dev "$scan_lan_if"
  [ $# -gt 0 ] || return 0
  local peers=$here/../../peers
  ip netns exec "$scan_lan" python3 "$peers/sntp_responder.py" --serve "$@" \
    --pidfile "$dir/responder.pid" >"$case_dir/responder.log" 2>&1 </dev/null &
  python3 "$peers/sntp_responder.py" --probe "${@%%=*}" --within 20 ||
    fail "the responders do not answer"
}

# A fresh Veltraw without a server; the first-run question, answered Yes,
# opens the search.
scan_start() {
  start_veltraw veltraw
  expect_box "No time server is configured." 30
  driver click Veltraw 6
  driver dialogs "Autodetect Mirelock" 1 20000 >/dev/null || fail "no search dialog after Yes"
}

# The box that ends the search (it has the first-run question's caption) says
# TEXT; OK closes it and the search dialog with it, and the search ended
# with CODE.
scan_expect_box() {
  expect_box "$1" 60
  driver click Veltraw 1
  driver dialogs "Autodetect Mirelock" 0 10000 >/dev/null || fail "the search dialog stayed"
  wait_for_text "$case_dir/veltraw.txt" "Local server search ended with $2" 10
}

# The hosts whose replies Veltraw took, in the order they came. A reply can
# miss the probes' 150 ms on a loaded machine, so the cases read who answered
# from the log rather than assume it.
scan_answered() {
  sed -n 's/.*TIME PACKET: Host=\([^ ]*\) .*/\1/p' "$case_dir/veltraw.txt" | tr -d '\r'
}

# The search dialog shows a probe of an address that begins with $1.
scan_probing() { [[ "$(driver text "Autodetect Mirelock" 1014 2>/dev/null)" == "$1"* ]]; }

scan_finish() {
  driver running || fail "the program ended"
  uninstall_veltraw
}

# The group's member and a generic server answer before the appliance: the
# first appliance to answer (two share the block) is stored and named at
# once, and the dialog ends with 1. (The block's last address, .7, is its
# broadcast address.)
case_scan_appliance() {
  scan_enter
  scan_network 10.213.1.2/29 "10.213.1.1/29 10.213.1.3/29 10.213.1.5/29 10.213.1.6/29" \
    224.0.1.1=31 10.213.1.3=31 10.213.1.5=55 10.213.1.6=55
  scan_start
  scan_expect_box "Found Mirelock at 10.213.1." 1
  local found
  found=$(scan_answered | grep -m1 -xE '10[.]213[.]1[.][56]') || fail "no appliance answered"
  expect_text "$case_dir/box.txt" "Found Mirelock at $found"
  expect_registry "$key" "Server1=$found" Servers=0x1
  expect_text "$case_dir/veltraw.txt" "Requesting time from 224.0.1.1"
  # Kept in use at once, with no settings dialog and no restart: asked, and
  # its answer shown.
  wait_for_count "$case_dir/veltraw.txt" "Tray tip: Veltraw using $found" 2 30
  scan_finish
}

# Generic servers only, the group's member among them; a second network
# whose last address is the PC's own, so that no probe closes the scan: the
# scan still ends, and the server that answered last is stored, named and
# kept in use at once.
case_scan_generic() {
  scan_enter
  scan_network "10.213.1.2/29 10.213.2.3/30" \
    "10.213.1.1/29 10.213.1.3/29 10.213.1.6/29 10.213.2.1/30" \
    224.0.1.1=31 10.213.1.3=31 10.213.1.6=31
  scan_start
  scan_expect_box "Found time server at " 0
  expect_text "$case_dir/box.txt" "(Of course, it's not an Orvantis server,"
  local last
  [ "$(scan_answered | wc -l)" -ge 2 ] || fail "fewer than two servers answered"
  last=$(scan_answered | tail -n 1)
  expect_text "$case_dir/box.txt" "Found time server at $last."
  expect_registry "$key" "Server1=$last"
  expect_text "$case_dir/veltraw.txt" "Requesting time from 10.213.2.2"
  expect_no_text "$case_dir/veltraw.txt" "Requesting time from 10.213.2.3"
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $last / PC" 30
  scan_finish
}

# Nobody answers, and the last network is a single address, the PC's own.
case_scan_none() {
  scan_enter
  scan_network "10.213.3.2/30 10.213.4.9/32" "10.213.3.1/30"
  scan_start
  scan_expect_box "Unable to find a local time server." 0
  expect_registry "$key" Server1=
  scan_finish
}

# Abort while a /24 network is scanned, after servers have answered: the
# dialog ends at once, nothing is stored or shown, and no probe follows.
case_scan_abort() {
  scan_enter
  scan_network "10.213.1.2/29 10.213.5.2/24" \
    "10.213.1.1/29 10.213.1.3/29 10.213.1.5/29 10.213.1.6/29" \
    10.213.1.3=31 10.213.1.5=31 10.213.1.6=31
  scan_start
  wait_until 20 "the scan did not reach the second network" scan_probing 10.213.5.
  close_dialog "Autodetect Mirelock" 2
  wait_for_text "$case_dir/veltraw.txt" "Local server search ended with 0" 10
  [ -n "$(scan_answered)" ] || fail "no server answered before Abort"
  # The probes' timer runs on the program's main thread: once that thread
  # has handled a command posted after the search ended, it has had its
  # chances to send one.
  local probes
  probes=$(line_count "$case_dir/veltraw.txt" "Requesting time from")
  expect_alive
  [ "$(line_count "$case_dir/veltraw.txt" "Requesting time from")" = "$probes" ] ||
    fail "probes went on after Abort"
  driver dialogs Veltraw 0 0 >/dev/null || fail "a box after Abort"
  expect_registry "$key" Server1=
  scan_finish
}
