# The output settings: the Log Settings dialog (log file, packet details,
# data file) and the Monitoring dialog (the monitor command and its
# conditions), operated through their control ids as a user would. Sourced by
# e2e.sh; CTest runs each case named on the next line.
# e2e cases: log_settings monitor_settings

data_header='GMT Time,GetTickCount (ms),Server,Precision (2^x s),Round-trip Latency (ms),Time Offset (ms),Reference (dec),Originate (dec),Receive (dec),Transmit (dec),Reference (hex),Originate (hex),Receive (hex),Transmit (hex)'

# Every wine command costs the better part of a second: the checks below
# are the ones that can fail.

# On the 1024x768 screen of the tests.
expect_centred() {
  local l t r b
  read -r l t r b <<<"$(driver rect "$1")"
  (((l + r) / 2 >= 510 && (l + r) / 2 <= 514 && (t + b) / 2 >= 382 && (t + b) / 2 <= 386)) ||
    fail "\"$1\" not centred: $l $t $r $b"
}

# Log and data file chosen in the dialog and applied at OK: detail lines
# while the box is set and none once it is clear; the data file with its
# header (that it starts afresh is the data file's test); the chooser starts on the stored path and its
# Cancel keeps the typed one; Cancel stores nothing; a data file that cannot
# be opened is logged. (The paths' length limit is the model's; a log file
# that cannot be opened is the start_failure case's box, at every apply the
# core's.)
case_log_settings() {
  start_case log_settings Servers=dword:1 "Server1=$prefix.31" Frequency=dword:1
  local details=$case_dir/details.log plain=$case_dir/plain.log csv=$case_dir/data.csv
  local output=$case_dir/veltraw.txt dialog="Log Settings"

  open_dialog 105 "$dialog"
  expect_centred "$dialog"
  driver set-text "$dialog" 1017 "$(winpath "$details")"
  driver set-text "$dialog" 1020 "$(winpath "$csv")"
  driver click "$dialog" 1019
  close_dialog "$dialog" 1
  expect_registry "$key" "LogFile=$(winpath "$details")" "DataFile=$(winpath "$csv")" LogDetails=0x1
  wait_for_text "$details" "Requesting time from $prefix.31" 20
  wait_for_text "$csv" ",$prefix.31," 20
  [ "$(head -n 1 "$csv" | tr -d '\r')" = "$data_header" ] || fail "data file without its header"

  # The chooser starts on the stored path, not on the one typed since;
  # cancelling it, then the dialog, changes nothing.
  open_dialog 105 "$dialog"
  expect_field "$dialog" 1017 "$(winpath "$details")"
  expect_checked "$dialog" 1019 1
  driver set-text "$dialog" 1017 'C:\typed\since.log'
  driver click "$dialog" 1018
  driver dialogs "Browse for Log File" 1 10000 >/dev/null || fail "no file chooser"
  expect_field "Browse for Log File" 1148 details.log
  close_dialog "Browse for Log File" 2
  expect_field "$dialog" 1017 'C:\typed\since.log'
  driver click "$dialog" 1019
  close_dialog "$dialog" 2
  expect_registry "$key" "LogFile=$(winpath "$details")" LogDetails=0x1

  # Box clear, another log file, a data file in a folder that does not
  # exist: the log says so, and takes no detail lines from here on.
  local missing
  missing=$(winpath "$case_dir/missing/data.csv")
  open_dialog 105 "$dialog"
  driver set-text "$dialog" 1017 "$(winpath "$plain")"
  driver set-text "$dialog" 1020 "$missing"
  driver click "$dialog" 1019
  close_dialog "$dialog" 1
  wait_for_text "$plain" "Unable to open data file $missing" 20
  local seen
  seen=$(line_count "$output" "Requesting time from $prefix.31")
  wait_for_count "$output" "Requesting time from $prefix.31" $((seen + 2)) 20
  expect_no_text "$plain" "Requesting time from"
  [ "$(line_count "$csv" ",$prefix.31,")" -ge 1 ] || fail "the earlier data file lost its rows"

  uninstall_veltraw
}

# The monitor command configured in the dialog runs at the next timeout of a
# silent server; the fields show what is stored. (Cancel is the dialogs' shared one, which log_settings
# checks.) Servers are added through the registry and applied with OK in the
# Log Settings dialog.
case_monitor_settings() {
  fresh_case monitor_settings
  local monitor=$case_dir/monitor.txt output=$case_dir/veltraw.txt dialog=Monitoring
  local command
  command="\"$(winpath "$VELTRAW_APPEND_ARGS")\" \"$(winpath "$monitor")\" %2 %1 %3"
  # No server asked yet: the silent primary has no failure behind it.
  configure Servers=dword:0 "Server1=$prefix.37" Frequency=dword:2
  start_veltraw veltraw
  wait_for_text "$output" "Setting timer to " 20

  # Load and store share one table of boxes: the values stored below check
  # every box.
  open_dialog 109 "$dialog"
  expect_centred "$dialog"
  driver texts "$dialog" >"$case_dir/card.txt"
  expect_text "$case_dir/card.txt" "%0 = NTP Precision"
  expect_text "$case_dir/card.txt" "3358670916.40688180"
  driver set-text "$dialog" 1057 "$command"
  driver set-text "$dialog" 1055 150ms
  driver click "$dialog" 1049
  close_dialog "$dialog" 1
  expect_registry "$key" "MonitorCommand=$command" MonitorLatency=0x96 MonitorOnTimeout=0x1 \
    MonitorOnBadRef=0x0 MonitorOnRecovery=0x0 MonitorOnAll=0x0 MonitorOnLatency=0x0 \
    MonitorOnStartStop=0x0 MonitorPrimaryOnly=0x0

  configure Servers=dword:1
  open_dialog 105 "Log Settings"
  close_dialog "Log Settings" 1
  wait_for_text "$monitor" "TO $prefix.37 0" 20

  # Shown as stored; the boxes are stored as clicked (which conditions run
  # the command is the core's).
  open_dialog 109 "$dialog"
  expect_field "$dialog" 1057 "$command"
  expect_field "$dialog" 1055 150
  expect_checked "$dialog" 1049 1
  driver click "$dialog" 1049
  driver click "$dialog" 1052
  close_dialog "$dialog" 1
  expect_registry "$key" MonitorOnTimeout=0x0 MonitorOnAll=0x1

  uninstall_veltraw
}
