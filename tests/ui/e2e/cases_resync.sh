# Where PCs really live: waking from sleep, clocks changed by others, servers
# that refuse service or ask to be asked less often. Sourced by e2e.sh.
# e2e cases: resync kiss_codes

# A wake-up (sent a hundred times at once) and a clock changed by someone else
# each run one extra cycle a few seconds later; the notice of Veltraw's own
# step runs none.
case_resync() {
  fresh_case resync
  # A primary 120 ms ahead: the clock decision is taken and Veltraw steps the
  # clock (Wine accepts the small step without touching the host's clock).
  configure Servers=dword:1 "Server1=$prefix.60" Frequency=dword:2
  start_veltraw stepping
  local out=$case_dir/stepping.txt seen
  wait_for_text "$out" "Jumping to correct time " 20
  expect_text "$out" "Setting time "
  # Wine may announce the step itself; otherwise the notice is posted here.
  sleep 1
  grep -aqF "changed by this program" "$out" || driver post timechange
  wait_for_text "$out" "The clock was changed by this program: no resynchronisation" 10
  expect_no_text "$out" "changed by someone else"
  # The next cycle's request comes after the step's outcome was logged.
  seen=$(line_count "$out" "Requesting time from $prefix.60")
  wait_for_count "$out" "Requesting time from $prefix.60" $((seen + 1)) 10
  expect_no_text "$out" "Unable to set system time"
  expect_no_text "$out" "Tray notification: "
  uninstall_veltraw stepping

  # chronyd serves this machine's own clock: no steps from here on.
  configure "Server1=$prefix.30" Frequency=dword:3600
  start_veltraw veltraw
  out=$case_dir/veltraw.txt
  wait_for_text "$out" "Tray tip: Veltraw using $prefix.30 / PC" 20
  driver post resume 100
  wait_for_text "$out" "Woke from sleep; resynchronising in 5 s" 10
  wait_for_text "$out" "Resynchronising: update cycle, attempt 1 of 4" 20
  wait_for_count "$out" "Resynchronised" 1 20
  [ "$(line_count "$out" "Woke from sleep; resynchronising")" = 1 ] || fail "more than one resync"

  driver post timechange
  wait_for_text "$out" "The clock was changed by someone else; resynchronising in 5 s" 10
  wait_for_count "$out" "Resynchronised" 2 20
  uninstall_veltraw
}

# A primary that refuses service (DENY) says so in the tooltip and the log; a
# server that asks to slow down (RATE) is asked half as often. Which cycles
# skip them is the core's (its kiss-of-death test).
case_kiss_codes() {
  fresh_case kiss_codes
  configure Servers=dword:2 "Server1=$prefix.54" "Server2=$prefix.52" Frequency=dword:2
  start_veltraw veltraw
  local out=$case_dir/veltraw.txt
  wait_for_text "$out" "Tray tip: Veltraw $prefix.54 refused service (DENY)" 20
  wait_for_text "$out" "Server $prefix.54 refused service (DENY); not asking it again" 10
  wait_for_text "$out" "Server $prefix.52 asked to slow down (RATE); asking it every 4 s" 10
  uninstall_veltraw
}
