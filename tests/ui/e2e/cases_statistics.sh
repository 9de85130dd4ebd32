# The statistics dialog: opened from the menu and by a left click, one at a
# time; its list, its charts as a user sees them, Reset, and the redraw when
# new results arrive. Sourced by e2e.sh; CTest runs each case named on the
# next line.
# e2e cases: statistics

stats_caption="Veltraw Statistics"

# Rows of the data file: its header, then one per result with a reply.
has_rows() { [ "$(wc -l <"$case_dir/data.csv" 2>/dev/null || echo 0)" -ge "$1" ]; }
wait_rows() { wait_until 20 "the data file has not $1 rows within 20 s" has_rows "$1"; }

# The dialog shows bars (some) or none; it repaints a moment after what
# changed it. The bars' front colour is pure blue.
shows_bars() {
  local pixels
  pixels=$(driver blue "$stats_caption")
  if [ "$1" = some ]; then [ "$pixels" -gt 0 ]; else [ "$pixels" -eq 0 ]; fi
}
wait_bars() { wait_until 20 "$2: expected $1 bars" shows_bars "$1"; }

is_in_front() { [ "$(driver foreground)" = "$1" ]; }

# Three servers, one of them silent, and no update but the first and those
# the test asks for (the driver's timer ticks), so that nothing changes the
# charts behind the test's back.
case_statistics() {
  fresh_case statistics
  configure Servers=dword:3 "Server1=$prefix.30" "Server2=$prefix.47" "Server3=$prefix.37" \
    Frequency=dword:3600 "DataFile=$(winpath "$case_dir/data.csv")"
  start_veltraw veltraw
  # Two results with a reply per update; the silent server's comes later.
  wait_rows 3
  driver post tick
  wait_rows 5
  driver post tick
  wait_rows 7

  open_dialog 103 "$stats_caption"
  [ "$(driver item-data "$stats_caption" 1011 | paste -sd ' ')" = "-1 0 1 2" ] ||
    fail "list items: the header and one per server expected"
  # What the drift line says is the model's; here it shows, and Reset keeps it.
  local drift
  drift=$(field "$stats_caption" 1010)
  [ -n "$drift" ] || fail "no drift line"
  wait_bars some "first opening"

  # Another dialog in front; a left click brings this one forward, no copy.
  open_dialog 100 "About Orvantis Veltraw"
  driver post lbuttonup
  wait_until 10 "not brought forward" is_in_front "$stats_caption"
  driver post command 103
  expect_alive
  driver dialogs "$stats_caption" 1 0 >/dev/null || fail "not exactly one dialog"
  close_dialog "About Orvantis Veltraw" 1

  # Reset empties every chart and leaves the drift line; the next results
  # show in the open dialog.
  driver click "$stats_caption" 1012
  wait_bars none "after Reset"
  [ "$(field "$stats_caption" 1010)" = "$drift" ] || fail "Reset changed the drift"
  local rows
  rows=$(wc -l <"$case_dir/data.csv")
  driver post tick
  wait_rows $((rows + 2))
  wait_bars some "results after Reset"

  # Closed, it opens again by a left click, filled again.
  close_dialog "$stats_caption" 1
  driver post lbuttonup
  driver dialogs "$stats_caption" 1 10000 >/dev/null || fail "no Statistics dialog from a left click"
  wait_bars some "second opening"

  # Exit while the dialog is open ends the program as usual.
  exit_through_dialog 1
  expect_exit veltraw 0 15
}
