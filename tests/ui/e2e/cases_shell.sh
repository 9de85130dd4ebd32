# The tray program itself: results from real peers, Exit and auto-launch, one
# instance per user, the first-run question, the clock decision, a failed
# start. Sourced by e2e.sh; CTest runs each case named on the next line.
# e2e cases: results exit_choice single_instance first_run clock_refused start_failure

# The primary is chronyd, then a good responder, a silent one and one with a
# bad reference; the log, the data file and the monitor command show the
# results, and "&Exit" with the box checked registers auto-launch.
case_results() {
  local dir=$state/results
  local monitor=$dir/monitor.txt
  start_case results Servers=dword:4 "Server1=$prefix.30" "Server2=$prefix.31" "Server3=$prefix.37" \
    "Server4=$prefix.52" "LogFile=$(winpath "$dir/veltraw.log")" LogDetails=dword:1 \
    "DataFile=$(winpath "$dir/data.csv")" \
    "MonitorCommand=\"$(winpath "$VELTRAW_APPEND_ARGS")\" \"$(winpath "$monitor")\" %2 %1 %3" \
    MonitorOnStartStop=dword:1 MonitorOnTimeout=dword:1
  # The silent server's result comes after its 2.5 s timeout. (Which
  # conditions run the command is the core's.)
  wait_for_text "$monitor" "TO $prefix.37" 20

  local log=$case_dir/veltraw.log
  expect_text "$log" "Received Packet from $prefix.52:123"
  local csv=$case_dir/data.csv
  # Which results make a row is the core's; here the rows reach the file.
  [ "$(wc -l <"$csv")" -ge 4 ] || fail "data file: a header and three rows expected"
  # "Update Now" asks at once, a whole period before the timer would.
  driver post command 113
  wait_for_count "$case_dir/veltraw.txt" "Tray tip: Veltraw requesting from $prefix.30" 2 10

  # The shell's messages: a restarted taskbar, clicks, the menu opened and
  # dismissed with Escape; the program stays and answers.
  driver post taskbar-created
  for message in mousemove lbuttondown lbuttonup lbuttondblclk rbuttondown rbuttonup; do
    driver post $message
  done
  driver menu open 5000 || fail "no menu on a right click"
  driver key escape
  driver menu closed 5000 || fail "the menu stayed open after Escape"
  open_dialog 100 "About Orvantis Veltraw"
  driver texts "About Orvantis Veltraw" >"$case_dir/about.txt"
  expect_text "$case_dir/about.txt" "Veltraw version $VELTRAW_VERSION"
  close_dialog "About Orvantis Veltraw" 1
  expect_alive  # a command outside the menu does nothing

  exit_through_dialog 1
  expect_exit veltraw 0 15
  expect_registry "$run_key" "VeltrawNTPClient=$(winpath "$VELTRAW_EXE")"
  wait_for_text "$monitor" "SS STOP 0" 10
}

# Unchecking the box is stored at once, Cancel keeps the program; the next
# Exit opens with the box clear and removes the auto-launch entry.
case_exit_choice() {
  start_case exit_choice Servers=dword:1 "Server1=$prefix.31"
  wine reg add "$run_key" /v VeltrawNTPClient /t REG_SZ /d 'C:\old\Veltraw.exe' /f >/dev/null
  open_dialog 101 "Exiting Veltraw"
  expect_checked "Exiting Veltraw" 1001 1
  driver click "Exiting Veltraw" 1001
  expect_registry "$key" Autostart=0x0
  close_dialog "Exiting Veltraw" 2
  expect_alive
  expect_registry "$key" Autostart=0x0
  expect_registry "$run_key" 'VeltrawNTPClient=C:\old\Veltraw.exe'

  exit_through_dialog 0
  expect_exit veltraw 0 15
  expect_registry "$run_key" VeltrawNTPClient=
}

# A second start shows one warning box and leaves the first alone;
# "-uninstall" in any letter case ends the first, without the exit sequence.
case_single_instance() {
  start_case single_instance Servers=dword:1 "Server1=$prefix.31"
  start_veltraw second
  expect_box "There is already an instance of Veltraw running"
  driver click Veltraw 1
  expect_exit second 1 10
  # The one box was the only one: none is left.
  driver dialogs Veltraw 0 0 >/dev/null || fail "another box"
  expect_alive

  start_veltraw uninstall -UnInstall
  expect_exit uninstall 0 10
  expect_exit veltraw 0 10
  expect_registry "$run_key" VeltrawNTPClient=

  # Nothing running: ends at once.
  start_veltraw alone -uninstall
  expect_exit alone 0 10
}

# A primary 5 s ahead: the clock decision is taken, Wine refuses the step,
# and with no clock service either the user is told once and the log says so
# at every cycle. (A step Wine accepts is the resync case's opening.)
case_clock_refused() {
  fresh_case clock_refused
  local out=$case_dir/veltraw.txt
  # Short cycles: a first round trip slowed by Wine's start (100 ms or more)
  # rules out the clock decision for that cycle only.
  configure Servers=dword:1 "Server1=$prefix.61" Frequency=dword:2
  start_veltraw veltraw
  wait_for_text "$out" "Jumping to correct time " 20
  expect_text "$out" "Setting time "
  wait_for_text "$out" "Unable to set system time: " 10
  grep -aqE "Unable to set system time: .+\(0x0*522 / 1314\)" "$out" ||
    fail "the refusal lacks the Windows error text"
  wait_for_count "$out" "Clock not corrected: " 2 10
  expect_text "$out" "ms, not corrected"
  local told="Tray notification: Veltraw cannot set the clock: Windows does not let Veltraw"
  [ "$(line_count "$out" "$told")" = 1 ] || fail "not told once: $told"
  uninstall_veltraw
}

# No server configured: the first start offers a search; "No" leaves the
# program running, unconfigured.
case_first_run() {
  fresh_case first_run
  start_veltraw veltraw
  expect_box "No time server is configured."
  driver click Veltraw 7
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw unconfigured" 10
  expect_alive
  uninstall_veltraw
}

# A log file that cannot be opened: a box names it, and the program keeps
# time without it, while the box waits and after it.
case_start_failure() {
  start_case start_failure Servers=dword:1 "Server1=$prefix.31" \
    'LogFile=Q:\no\such\folder\veltraw.log'
  expect_box 'Cannot open log file for writing: Q:\no\such\folder\veltraw.log'
  close_dialog Veltraw 1
  expect_alive
  uninstall_veltraw
}
