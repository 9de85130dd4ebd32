# The Server Configuration dialog, operated through its controls as a user
# would: the stored list in stored order, the list buttons, the live test of a
# server (silent for one that answers, a question for one that does not), OK
# storing every value and the next update asking the new servers, Cancel
# storing nothing, and odd names kept byte for byte. Sourced by e2e.sh; CTest
# runs each case named on the next line.
# e2e cases: server_edit server_names

server_dialog='Server Configuration'

# The entries of a list or drop-down, one a line, the selected one marked "* ".
expect_items() {
  local id=$1
  shift
  driver items "$server_dialog" "$id" >"$case_dir/items.txt"
  printf '%s\n' "$@" >"$case_dir/expected.txt"
  diff -u "$case_dir/expected.txt" "$case_dir/items.txt" >&2 || fail "control $id: other entries"
}

# One press of every button, each wired to its rule (the rules themselves
# are the model's). PREFIX.30 is chronyd, .31 and .32 answer, .37 never
# does, .52 answers with a bad reference.
case_server_edit() {
  start_case server_edit Servers=dword:4 "Server1=$prefix.30" "Server2=$prefix.37" \
    "Server3=$prefix.31" "Server4=$prefix.52" Frequency=dword:45 \
    "DataFile=$(winpath "$state/server_edit/data.csv")"
  open_dialog 104 "$server_dialog"

  # Stored order, not sorted; 45 s is no choice of the list and is carried.
  expect_field "$server_dialog" 1008 "$prefix.30"
  expect_items 1003 "$prefix.37" "$prefix.31" "$prefix.52"
  [ "$(driver items "$server_dialog" 1009 | grep '^\* ')" = "* Custom" ] || fail "45 s not carried"

  driver select "$server_dialog" 1003 1
  driver click "$server_dialog" 1006
  expect_items 1003 "* $prefix.31" "$prefix.37" "$prefix.52"
  driver click "$server_dialog" 1007
  expect_items 1003 "$prefix.37" "* $prefix.31" "$prefix.52"
  driver select "$server_dialog" 1003 0
  driver click "$server_dialog" 1005
  expect_items 1003 "$prefix.31" "$prefix.52"

  # A typed server that answers goes down without a question.
  driver set-text "$server_dialog" 1008 "$prefix.32"
  driver click "$server_dialog" 1004
  driver dialogs Veltraw 0 0 >/dev/null || fail "a question for a server that answers"
  expect_field "$server_dialog" 1008 ""
  expect_items 1003 "$prefix.32" "$prefix.31" "$prefix.52"

  # OK with a silent primary and No: the dialog stays, nothing is stored.
  driver set-text "$server_dialog" 1008 "$prefix.37"
  driver click "$server_dialog" 1021
  driver click "$server_dialog" 1
  expect_box "The server $prefix.37 does not appear to be responding to a time request."
  close_dialog Veltraw 7
  driver dialogs "$server_dialog" 1 0 >/dev/null || fail "the dialog closed after No"
  expect_registry "$key" Servers=0x4 ReportOnly=

  driver set-text "$server_dialog" 1008 "$prefix.30"
  close_dialog "$server_dialog" 1
  expect_registry "$key" "Server1=$prefix.30" "Server2=$prefix.32" "Server3=$prefix.31" \
    "Server4=$prefix.52" Servers=0x4 Frequency=0x2d Requests=0x0 ReportOnly=0x1

  # The settings are applied and an update asks the new list at once (which
  # servers a cycle asks is the core's): the new server's rows come.
  wait_for_text "$case_dir/data.csv" "$prefix.32" 20

  uninstall_veltraw
}

# Names of the full stored length, with blanks, format characters, a
# semicolon and bytes beyond ASCII, are shown and stored back exactly; Cancel
# after editing stores and applies nothing.
case_server_names() {
  local long odd
  long=$(printf 'n%.0s' $(seq 1 250)).test
  odd=$'odd name; %s %n 100% caf\xe9'
  start_case server_names Servers=dword:3 "Server1=$prefix.30" "Server2=$long" "Server3=$odd" \
    Frequency=dword:600 Requests=dword:3
  open_dialog 104 "$server_dialog"
  expect_items 1003 "$long" "$odd"

  # Cancel stores nothing and applies nothing.
  local applied
  applied=$(line_count "$case_dir/veltraw.txt" "Delete Stats Called")
  driver select "$server_dialog" 1003 0
  driver click "$server_dialog" 1005
  driver click "$server_dialog" 1021
  driver select "$server_dialog" 1009 0
  close_dialog "$server_dialog" 2
  expect_registry "$key" Servers=0x3 "Server2=$long" ReportOnly= Frequency=0x258
  expect_alive
  [ "$(line_count "$case_dir/veltraw.txt" "Delete Stats Called")" = "$applied" ] ||
    fail "Cancel applied the settings"

  # OK stores the names back as the controls hand them over.
  open_dialog 104 "$server_dialog"
  close_dialog "$server_dialog" 1
  expect_registry "$key" "Server2=$long" "Server3=$odd" Frequency=0x258 Requests=0x3 ReportOnly=0x0

  uninstall_veltraw
}
