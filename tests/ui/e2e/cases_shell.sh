# The tray program itself: results from real peers, Exit and auto-launch, one
# instance per user, the first-run question, the clock decision, a failed
# start. Sourced by e2e.sh; CTest runs each case named on the next line.
# e2e cases: results exit_choice single_instance first_run clock_small clock_large start_failure

# The primary is chronyd, then a good responder, a silent one and one with a
# bad reference; the log, the data file, the monitor command and the registry
# show each result, and "&Exit" with the box checked registers auto-launch.
case_results() {
  fresh_case results
  local monitor=$case_dir/monitor.txt
  configure Servers=dword:4 "Server1=$prefix.30" "Server2=$prefix.31" "Server3=$prefix.37" \
    "Server4=$prefix.52" "LogFile=$(winpath "$case_dir/veltraw.log")" LogDetails=dword:1 \
    "DataFile=$(winpath "$case_dir/data.csv")" \
    "MonitorCommand=\"$(winpath "$VELTRAW_APPEND_ARGS")\" \"$(winpath "$monitor")\" %2 %1 %3" \
    MonitorOnStartStop=dword:1 MonitorOnTimeout=dword:1 MonitorOnBadRef=dword:1
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $prefix.30 / PC" 20
  # The silent server's result comes after its 2.5 s timeout.
  wait_for_text "$monitor" "TO $prefix.37" 20
  wait_for_text "$monitor" "BR $prefix.52" 10
  expect_text "$monitor" "SS START 0"

  [ "$(registry_value "$key" SetClockOnceDriftExceeds)" = 0x32 ] || fail "SetClockOnceDriftExceeds"
  [ "$(registry_value "$key" AutoRoundTripThreshold)" = 0x28 ] || fail "AutoRoundTripThreshold"
  [ "$(registry_value "$key" AutoMaxRequests)" = 0xa ] || fail "AutoMaxRequests"
  [ "$(registry_value "$key" RoundTripLatencyClockRejectThreshold)" = 0x64 ] ||
    fail "RoundTripLatencyClockRejectThreshold"

  local log=$case_dir/veltraw.log
  expect_text "$log" "Received Packet from $prefix.30:123"
  expect_text "$log" "Received Packet from $prefix.31:123"
  expect_text "$log" "Received Packet from $prefix.52:123"
  expect_text "$case_dir/veltraw.txt" "Setting timer to 0x0000ea60 ms"
  local csv=$case_dir/data.csv
  [ "$(wc -l <"$csv")" -ge 4 ] || fail "data file: a header and three rows expected"
  for octet in 30 31 52; do expect_text "$csv" "$prefix.$octet"; done
  expect_no_text "$csv" "$prefix.37"
  # "Update Now" asks at once, a whole period before the timer would.
  driver command 113
  wait_for_count "$case_dir/veltraw.txt" "Tray tip: Veltraw requesting from $prefix.30" 2 10

  # The shell's messages: a restarted taskbar, clicks, the menu opened and
  # dismissed with Escape; the program stays and answers.
  driver taskbar-created
  driver icon mousemove
  driver icon lbuttondown
  driver icon lbuttonup
  driver icon lbuttondblclk
  driver icon rbuttondown
  driver icon rbuttonup
  driver wait-menu 5000 || fail "no menu on a right click"
  driver key escape
  sleep 0.5
  ! driver wait-menu 100 || fail "the menu stayed open after Escape"
  open_dialog 100 "About Orvantis Veltraw"
  driver texts "About Orvantis Veltraw" >"$case_dir/about.txt"
  expect_text "$case_dir/about.txt" "Veltraw version 1.03"
  driver click "About Orvantis Veltraw" 1
  driver command 102  # not a menu command: nothing happens
  driver running || fail "the program ended"
  expect_text "$case_dir/veltraw.txt" "ComandNotification(102)"

  exit_through_dialog 1
  expect_exit veltraw 0 15
  driver running && fail "tray window still there"
  [ "$(registry_value "$run_key" VeltrawNTPClient)" = "$(winpath "$VELTRAW_EXE")" ] ||
    fail "auto-launch entry"
  wait_for_text "$monitor" "SS STOP 0" 10
}

# Unchecking the box is stored at once, Cancel keeps the program; the next
# Exit opens with the box clear and removes the auto-launch entry.
case_exit_choice() {
  fresh_case exit_choice
  wine reg add "$run_key" /v VeltrawNTPClient /t REG_SZ /d 'C:\old\Veltraw.exe' /f >/dev/null
  configure Servers=dword:1 "Server1=$prefix.31"
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $prefix.31 / PC" 20
  open_dialog 101 "Exiting Veltraw"
  expect_checked "Exiting Veltraw" 1001 1
  driver click "Exiting Veltraw" 1001
  [ "$(registry_value "$key" Autostart)" = 0x0 ] || fail "Autostart not stored at the click"
  driver click "Exiting Veltraw" 1001
  [ "$(registry_value "$key" Autostart)" = 0x1 ] || fail "second click did not store 1"
  driver click "Exiting Veltraw" 1001
  driver click "Exiting Veltraw" 2
  sleep 1
  driver running || fail "Cancel ended the program"
  [ "$(registry_value "$key" Autostart)" = 0x0 ] || fail "Cancel undid the choice"
  [ -n "$(registry_value "$run_key" VeltrawNTPClient)" ] || fail "Cancel touched the Run key"

  exit_through_dialog 0
  expect_exit veltraw 0 15
  [ -z "$(registry_value "$run_key" VeltrawNTPClient)" ] || fail "Run entry not removed"
}

# A second start shows one warning box and leaves the first alone;
# "-uninstall" in any letter case ends the first, without the exit sequence.
case_single_instance() {
  fresh_case single_instance
  configure Servers=dword:1 "Server1=$prefix.31"
  start_veltraw first
  wait_for_text "$case_dir/first.txt" "Tray tip: Veltraw using $prefix.31 / PC" 20
  start_veltraw second
  driver wait-dialog Veltraw 15000 || fail "no warning box"
  sleep 1
  [ "$(driver count-dialogs Veltraw | tr -d '\r')" = 1 ] || fail "not exactly one box"
  driver texts Veltraw >"$case_dir/box.txt"
  expect_text "$case_dir/box.txt" "There is already an instance of Veltraw running"
  driver click Veltraw 1
  expect_exit second 1 10
  driver running || fail "the first instance ended"

  local started=$SECONDS
  start_veltraw uninstall -UnInstall
  expect_exit uninstall 0 10
  [ $((SECONDS - started)) -le 6 ] || fail "-uninstall took too long"
  expect_exit first 0 10
  driver running && fail "tray window still there"
  [ -z "$(registry_value "$run_key" VeltrawNTPClient)" ] || fail "-uninstall registered auto-launch"

  # Nothing running: ends at once.
  start_veltraw alone -uninstall
  expect_exit alone 0 10
}

# A primary 120 ms ahead: the clock decision is taken and Wine accepts the
# small step without touching the host's clock. 5 s ahead: Wine refuses, and
# with no clock service either the user is told once, the tooltip marks the
# offset and the log says so at every cycle.
case_clock() {
  local octet=$1 name=$2
  fresh_case "$name"
  # Short cycles: a first round trip slowed by Wine's start (100 ms or more)
  # rules out the clock decision for that cycle only.
  configure Servers=dword:1 "Server1=$prefix.$octet" Frequency=dword:2
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Jumping to correct time " 20
  expect_text "$case_dir/veltraw.txt" "Setting time "
  if [ "$octet" = 61 ]; then
    wait_for_text "$case_dir/veltraw.txt" "Unable to set system time: " 10
    grep -a "Unable to set system time: " "$case_dir/veltraw.txt" >"$case_dir/refusal.txt"
    grep -aqE "Unable to set system time: .+\(0x0*522 / 1314\)" "$case_dir/refusal.txt" ||
      fail "the refusal lacks the Windows error text"
    wait_for_count "$case_dir/veltraw.txt" "Clock not corrected: " 2 10
    expect_text "$case_dir/veltraw.txt" "ms, not corrected"
    local told="Tray notification: Veltraw cannot set the clock: Windows does not let Veltraw"
    [ "$(line_count "$case_dir/veltraw.txt" "$told")" = 1 ] || fail "not told once: $told"
  else
    sleep 1
    expect_no_text "$case_dir/veltraw.txt" "Unable to set system time"
    expect_no_text "$case_dir/veltraw.txt" "Tray notification: "
  fi
  uninstall_veltraw
}

# No server configured: the first start offers a search; "No" leaves the
# program running, unconfigured.
case_first_run() {
  fresh_case first_run
  start_veltraw veltraw
  driver wait-dialog Veltraw 20000 || fail "no first-run question"
  driver texts Veltraw >"$case_dir/box.txt"
  expect_text "$case_dir/box.txt" "No time server is configured."
  driver click Veltraw 7
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw unconfigured" 10
  sleep 0.5
  driver running || fail "the program ended after No"
  uninstall_veltraw
}

# A log file that cannot be opened: a box names it, and the program keeps
# time without it, while the box waits and after it.
case_start_failure() {
  fresh_case start_failure
  configure Servers=dword:1 "Server1=$prefix.31" 'LogFile=Q:\no\such\folder\veltraw.log'
  start_veltraw veltraw
  driver wait-dialog Veltraw 20000 || fail "no box"
  driver texts Veltraw >"$case_dir/box.txt"
  expect_text "$case_dir/box.txt" 'Cannot open log file for writing: Q:\no\such\folder\veltraw.log'
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $prefix.31 / PC" 20
  close_dialog Veltraw 1
  driver running || fail "the program ended"
  uninstall_veltraw
}

case_clock_small() { case_clock 60 clock_small; }
case_clock_large() { case_clock 61 clock_large; }
