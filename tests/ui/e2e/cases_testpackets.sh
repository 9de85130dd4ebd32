# The Send NTP Test Packets dialog: replies of chronyd and of a bad reference
# shown, a name that cannot be resolved, a silent server while
# other requests go on, and the servers remembered however the dialog ends.
# Sourced by e2e.sh; CTest runs each case named on the next line.
# e2e cases: testpackets

# Every cases file is sourced into one shell: the helpers here carry a prefix.
packets_dialog="Send NTP Test Packets"

# Waits until the dialog's field shows a text containing pattern.
packets_field_shows() { field "$packets_dialog" "$1" | grep -qF -- "$2"; }
packets_wait_for_field() {
  wait_until "$3" "field $1 did not show \"$2\" within $3 s" packets_field_shows "$1" "$2"
}

# The non-empty result fields (1023 to 1046), one "id: text" a line.
packets_result_fields() {
  driver texts "$packets_dialog" | grep -E '^10(2[3-9]|3[0-9]|4[0-6]): ' >"$1" || true
}

packets_open_dialog() { open_dialog 112 "$packets_dialog"; }

packets_expect_stored() {
  local pairs=("TestServers=0x$#") n=0 name
  for name in "$@"; do pairs+=("TestServer$((++n))=$name"); done
  expect_registry "$key" "${pairs[@]}"
}

# One program start, the dialog opened three times.
case_testpackets() {
  # "$prefix" begins the configured names, so it is not listed on its own.
  start_case testpackets Servers=dword:2 "Server1=$prefix.30" "Server2=$prefix.37" \
    TestServers=dword:2 TestServer1=b.example "TestServer2=$prefix"

  packets_open_dialog
  driver items "$packets_dialog" 1014 >"$case_dir/items.txt"
  printf '%s\n' "* $prefix.30" "$prefix.37" b.example | diff - "$case_dir/items.txt" ||
    fail "list at opening, the primary chosen"

  # chronyd answers: every field is filled (the texts and the offset are the
  # model's and the reply evaluation's).
  driver click "$packets_dialog" 1047
  packets_wait_for_field 1046 " UTC" 15
  packets_result_fields "$case_dir/chronyd.txt"
  [ "$(wc -l <"$case_dir/chronyd.txt")" = 24 ] || fail "chronyd: not every field filled"

  # A name the resolver rejects by its form, so that no query leaves the
  # machine; sent with the Enter key.
  driver set-text "$packets_dialog" 1014 no..such..host
  driver key return
  packets_wait_for_field 1023 "Error getting packet response" 15

  # While the silent server's request waits, a second one goes out and its
  # bad reference is shown in full; the timeout comes last and replaces it.
  driver set-text "$packets_dialog" 1014 "$prefix.37"
  driver click "$packets_dialog" 1047
  driver set-text "$packets_dialog" 1014 "$prefix.52"
  driver click "$packets_dialog" 1047
  packets_wait_for_field 1034 RATE 15
  packets_wait_for_field 1023 "Timeout waiting for packet response" 20
  # Only the first field shows the outcome; every other one is emptied.
  packets_result_fields "$case_dir/silent.txt"
  [ "$(wc -l <"$case_dir/silent.txt")" = 1 ] || fail "silent: fields besides the first are set"

  # Cancel stores the list: the configured servers, the one that answered
  # and the remembered one, in alphabetical order; not the unresolved name.
  close_dialog "$packets_dialog" 2
  packets_expect_stored "$prefix.30" "$prefix.37" "$prefix.52" b.example

  # Opened again: a new answer, then Escape with a request still
  # waiting: the list is stored again and the late result goes nowhere.
  packets_open_dialog
  driver set-text "$packets_dialog" 1014 "$prefix.31"
  driver click "$packets_dialog" 1047
  packets_wait_for_field 1046 " UTC" 15
  driver set-text "$packets_dialog" 1014 "$prefix.37"
  driver click "$packets_dialog" 1047
  local sent=$SECONDS
  driver key escape
  driver dialogs "$packets_dialog" 0 10000 >/dev/null || fail "Escape left the dialog open"
  packets_expect_stored "$prefix.30" "$prefix.31" "$prefix.37" "$prefix.52" b.example

  # A new dialog is not filled by the old dialog's late result. A server
  # that answers in it is kept when the program is ended under it.
  packets_open_dialog
  while [ $((SECONDS - sent)) -lt 5 ]; do sleep 0.5; done
  [ -z "$(field "$packets_dialog" 1023)" ] || fail "a late result reached a new dialog"
  driver set-text "$packets_dialog" 1014 "$prefix.32"
  driver click "$packets_dialog" 1047
  packets_wait_for_field 1046 " UTC" 15
  uninstall_veltraw
  packets_expect_stored "$prefix.30" "$prefix.31" "$prefix.32" "$prefix.37" "$prefix.52" b.example
}
