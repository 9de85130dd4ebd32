# The Server Configuration dialog, operated through its controls as a user
# would: the stored list in stored order, the list buttons, the live test of a
# server (silent for one that answers, a question for one that does not), OK
# storing every value and the next update asking the new servers, Cancel
# storing nothing, and odd names kept byte for byte. Sourced by e2e.sh; CTest
# runs each case named on the next line.
# e2e cases: server_edit server_names

server_dialog='Server Configuration'

open_server_dialog() { open_dialog 104 "$server_dialog"; }

# The entries of a list or drop-down, one a line, the selected one marked "* ".
expect_items() {
  local id=$1
  shift
  driver items "$server_dialog" "$id" | tr -d '\r' >"$case_dir/items.txt"
  printf '%s\n' "$@" >"$case_dir/expected.txt"
  diff -u "$case_dir/expected.txt" "$case_dir/items.txt" >&2 || fail "control $id: other entries"
}

expect_primary() { expect_field "$server_dialog" 1008 "$1"; }

# A text value exactly as stored, blanks and bytes beyond ASCII included (for
# texts without quotes and backslashes). "reg query" would print it in the
# console's code page; the export is Unicode, taken back to the program's.
registry_text() {
  local file=$case_dir/export.reg
  wine reg export "$key" "$(winpath "$file")" /y >/dev/null 2>&1 </dev/null
  iconv -f UTF-16 -t CP1252 "$file" | tr -d '\r' | LC_ALL=C sed -n "s/^\"$1\"=\"\(.*\)\"\$/\1/p"
}

# A button whose server test brings the question: the box's text, then the
# answer (6 Yes, 7 No).
answer_question() {
  local button=$1 name=$2 answer=$3
  driver click-async "$server_dialog" "$button"
  driver wait-dialog Veltraw 15000 || fail "no question after button $button"
  driver texts Veltraw | tr -d '\r' >"$case_dir/question.txt"
  expect_text "$case_dir/question.txt" \
    "The server $name does not appear to be responding to a time request."
  expect_text "$case_dir/question.txt" "Would you like to use this server anyway?"
  driver click Veltraw "$answer"
  driver wait-no-dialog Veltraw 10000 || fail "the question stayed"
}

no_question() {
  [ "$(driver count-dialogs Veltraw | tr -d '\r')" = 0 ] || fail "a question for a server that answers"
}

# The log entries since settings were last applied.
since_last_apply() {
  awk '/Delete Stats Called/ {n = NR} {line[NR] = $0} END {for (i = n + 1; i <= NR; i++) print line[i]}' \
    "$case_dir/veltraw.txt"
}

# PREFIX.30 is chronyd, .31 and .32 answer, .37 never does, .52 answers with
# a bad reference.
case_server_edit() {
  fresh_case server_edit
  configure Servers=dword:4 "Server1=$prefix.30" "Server2=$prefix.37" "Server3=$prefix.31" \
    "Server4=$prefix.52" Frequency=dword:45 "DataFile=$(winpath "$case_dir/data.csv")"
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $prefix.30 / PC" 20
  open_server_dialog

  # Stored order, not sorted; 45 s is no choice of the list and is carried.
  expect_primary "$prefix.30"
  expect_items 1003 "$prefix.37" "$prefix.31" "$prefix.52"
  driver items "$server_dialog" 1009 | tr -d '\r' | tail -n 1 >"$case_dir/frequency.txt"
  [ "$(cat "$case_dir/frequency.txt")" = "* Custom" ] || fail "45 s not shown as Custom"
  driver items "$server_dialog" 1010 | tr -d '\r' | head -n 1 >"$case_dir/requests.txt"
  [ "$(cat "$case_dir/requests.txt")" = "* Automatic" ] || fail "absent Requests not Automatic"
  expect_checked "$server_dialog" 1021 0

  driver select "$server_dialog" 1003 1
  driver click "$server_dialog" 1006
  expect_items 1003 "* $prefix.31" "$prefix.37" "$prefix.52"
  driver click "$server_dialog" 1007
  expect_items 1003 "$prefix.37" "* $prefix.31" "$prefix.52"
  driver select "$server_dialog" 1003 2
  driver click "$server_dialog" 1005
  expect_items 1003 "$prefix.37" "$prefix.31"

  # A typed server that answers goes down without a question.
  driver set-text "$server_dialog" 1008 "$prefix.32"
  driver click "$server_dialog" 1004
  no_question
  expect_primary ""
  expect_items 1003 "$prefix.32" "$prefix.37" "$prefix.31"

  # One that does not: No changes nothing.
  driver set-text "$server_dialog" 1008 "$prefix.37"
  answer_question 1004 "$prefix.37" 7
  expect_primary "$prefix.37"
  expect_items 1003 "$prefix.32" "$prefix.37" "$prefix.31"

  # Up from the top with an empty primary: the name leaves the list. Down
  # without a selection swaps back after testing the primary.
  driver set-text "$server_dialog" 1008 ""
  driver select "$server_dialog" 1003 0
  driver click "$server_dialog" 1006
  expect_primary "$prefix.32"
  expect_items 1003 "$prefix.37" "$prefix.31"
  driver select "$server_dialog" 1003 -1
  driver click "$server_dialog" 1007
  no_question
  expect_primary "$prefix.37"
  expect_items 1003 "* $prefix.32" "$prefix.31"

  # OK with a silent primary and No: the dialog stays, nothing is stored.
  driver click "$server_dialog" 1021
  answer_question 1 "$prefix.37" 7
  driver wait-dialog "$server_dialog" 100 || fail "the dialog closed after No"
  [ "$(registry_value "$key" Servers)" = 0x4 ] || fail "stored after No"
  [ -z "$(registry_value "$key" ReportOnly)" ] || fail "ReportOnly stored after No"

  driver set-text "$server_dialog" 1008 "$prefix.30"
  driver click "$server_dialog" 1
  driver wait-no-dialog "$server_dialog" 10000 || fail "OK did not close the dialog"
  no_question
  [ "$(registry_text Server1)" = "$prefix.30" ] || fail "Server1"
  [ "$(registry_text Server2)" = "$prefix.32" ] || fail "Server2"
  [ "$(registry_text Server3)" = "$prefix.31" ] || fail "Server3"
  [ "$(registry_value "$key" Servers)" = 0x3 ] || fail "Servers"
  [ "$(registry_value "$key" Frequency)" = 0x2d ] || fail "Frequency: Custom 45 not kept"
  [ "$(registry_value "$key" Requests)" = 0x0 ] || fail "Requests: Automatic is 0"
  [ "$(registry_value "$key" ReportOnly)" = 0x1 ] || fail "ReportOnly"

  # The settings are applied and an update asks the new list at once; the
  # data file starts again and fills with the new servers' rows.
  wait_for_text "$case_dir/data.csv" "$prefix.32" 20
  wait_for_text "$case_dir/data.csv" "$prefix.30" 10
  since_last_apply >"$case_dir/applied.txt"
  expect_text "$case_dir/applied.txt" "Setting timer to 0x0000afc8 ms"
  for octet in 30 32 31; do expect_text "$case_dir/applied.txt" "Requesting time from $prefix.$octet"; done
  expect_no_text "$case_dir/applied.txt" "Requesting time from $prefix.52"
  expect_no_text "$case_dir/applied.txt" "Requesting time from $prefix.37"

  uninstall_veltraw
}

# Names of the full stored length, with blanks, format characters, a
# semicolon and bytes beyond ASCII, are shown and stored back exactly; Cancel
# after editing stores and applies nothing.
case_server_names() {
  fresh_case server_names
  local long odd
  long=$(printf 'n%.0s' $(seq 1 250)).test
  odd=$'odd name; %s %n 100% caf\xe9'
  configure Servers=dword:3 "Server1=$prefix.30" "Server2=$long" "Server3=$odd" \
    Frequency=dword:600 Requests=dword:3
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $prefix.30 / PC" 20
  [ "$(registry_text Server2)" = "$long" ] || fail "regedit did not store the long name"
  open_server_dialog
  expect_items 1003 "$long" "$odd"
  driver items "$server_dialog" 1009 | tr -d '\r' | grep '^\* ' >"$case_dir/frequency.txt"
  [ "$(cat "$case_dir/frequency.txt")" = "* 10 minutes" ] || fail "600 s not 10 minutes"
  driver items "$server_dialog" 1010 | tr -d '\r' | grep '^\* ' >"$case_dir/requests.txt"
  [ "$(cat "$case_dir/requests.txt")" = "* 3" ] || fail "Requests 3 not selected"

  # Cancel stores nothing and applies nothing.
  local applied
  applied=$(grep -ac "Delete Stats Called" "$case_dir/veltraw.txt")
  driver select "$server_dialog" 1003 0
  driver click "$server_dialog" 1005
  driver click "$server_dialog" 1021
  driver select "$server_dialog" 1009 0
  driver click "$server_dialog" 2
  driver wait-no-dialog "$server_dialog" 10000 || fail "Cancel did not close the dialog"
  [ "$(registry_value "$key" Servers)" = 0x3 ] || fail "Cancel stored Servers"
  [ "$(registry_text Server2)" = "$long" ] || fail "Cancel stored Server2"
  [ -z "$(registry_value "$key" ReportOnly)" ] || fail "Cancel stored ReportOnly"
  [ "$(registry_value "$key" Frequency)" = 0x258 ] || fail "Cancel stored Frequency"
  sleep 1
  [ "$(grep -ac "Delete Stats Called" "$case_dir/veltraw.txt")" = "$applied" ] ||
    fail "Cancel applied the settings"

  # Up from the top: the long name goes into the primary field whole.
  open_server_dialog
  expect_items 1003 "$long" "$odd"
  driver select "$server_dialog" 1003 0
  driver click "$server_dialog" 1006
  expect_primary "$long"
  driver select "$server_dialog" 1003 0
  driver click "$server_dialog" 1006
  expect_primary "$prefix.30"
  expect_items 1003 "$long" "$odd"
  driver click "$server_dialog" 1
  driver wait-no-dialog "$server_dialog" 10000 || fail "OK did not close the dialog"
  [ "$(registry_text Server2)" = "$long" ] || fail "long name changed"
  [ "$(registry_text Server3)" = "$odd" ] || fail "odd name changed"
  [ "$(registry_value "$key" Frequency)" = 0x258 ] || fail "Frequency"
  [ "$(registry_value "$key" Requests)" = 0x3 ] || fail "Requests"
  [ "$(registry_value "$key" ReportOnly)" = 0x0 ] || fail "ReportOnly"
  driver running || fail "the program ended"

  uninstall_veltraw
}
