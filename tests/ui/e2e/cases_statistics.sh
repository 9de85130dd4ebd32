# The statistics dialog: opened from the menu and by a left click, one at a
# time; its list, its charts as a user sees them, Reset, and the redraw when
# new results arrive. Sourced by e2e.sh; CTest runs each case named on the
# next line.
# e2e cases: statistics

stats_caption="Veltraw Statistics"

# Rows of the data file: its header, then one per result with a reply.
data_rows() { wc -l <"$case_dir/data.csv" 2>/dev/null || echo 0; }

wait_rows() {
  local rows=$1 limit=$2
  for _ in $(seq 1 $((limit * 10))); do
    [ "$(data_rows)" -ge "$rows" ] && return 0
    sleep 0.1
  done
  fail "the data file has not $rows rows within $limit s"
}

# How many pixels of the bars' front colour (pure blue) the dialog shows.
front_pixels() {
  local shot=$case_dir/screen.bmp rect
  driver screenshot "$(winpath "$shot")" || fail "no screenshot"
  rect=$(driver rect "$stats_caption" | tr -d '\r')
  python3 - "$shot" $rect <<'EOF'
import struct, sys
path, left, top, right, bottom = sys.argv[1], *map(int, sys.argv[2:6])
data = open(path, "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height = struct.unpack_from("<ii", data, 18)
stride = (width * 3 + 3) // 4 * 4
count = 0
for y in range(max(top, 0), min(bottom, height)):
    row = offset + (height - 1 - y) * stride  # bottom-up rows of B, G, R
    for x in range(max(left, 0), min(right, width)):
        if data[row + 3 * x:row + 3 * x + 3] == b"\xff\x00\x00":
            count += 1
print(count)
EOF
}

# Waits until the dialog shows bars (want=some) or none (want=none); the
# dialog repaints a moment after what changed it. step names the check.
wait_bars() {
  local want=$1 limit=$2 pixels
  for _ in $(seq 1 "$limit"); do
    pixels=$(front_pixels)
    if [ "$want" = some ] && [ "$pixels" -gt 0 ]; then return 0; fi
    if [ "$want" = none ] && [ "$pixels" -eq 0 ]; then return 0; fi
    sleep 1
  done
  driver screenshot "$(winpath "$case_dir/last.bmp")" || true
  echo "---- windows (foreground: $(driver foreground | tr -d '\r'); dialog at $(driver rect "$stats_caption" | tr -d '\r'))"
  driver windows | tr -d '\r' | grep -a $'\tshown$' || true
  fail "$3: expected $want bars, the dialog shows $pixels blue pixels (last.bmp)"
}

# Three servers, one of them silent, and no update but the first and those
# the test asks for (the driver's timer ticks), so that nothing changes the
# charts behind the test's back.
case_statistics() {
  fresh_case statistics
  configure Servers=dword:3 "Server1=$prefix.30" "Server2=$prefix.47" "Server3=$prefix.37" \
    Frequency=dword:3600 "DataFile=$(winpath "$case_dir/data.csv")"
  start_veltraw veltraw
  # Two results with a reply per update; the silent server's comes later.
  wait_rows 3 20
  driver tick
  wait_rows 5 20
  driver tick
  wait_rows 7 20

  open_dialog 103 "$stats_caption"
  [ "$(driver item-data "$stats_caption" 1011 | tr -d '\r' | paste -sd ' ')" = "-1 0 1 2" ] ||
    fail "list items: the header and one per server expected"
  local drift
  drift=$(field "$stats_caption" 1010)
  [[ $drift =~ ^((Gaining|Losing)\ [0-9]+\ ms/day|Not\ enough\ data\ to\ calculate\ yet\.\.\.)$ ]] ||
    fail "drift line \"$drift\""
  wait_bars some 20 "first opening"

  # Another dialog in front; a left click brings this one forward, no copy.
  open_dialog 100 "About Orvantis Veltraw"
  driver icon lbuttonup
  for _ in $(seq 1 100); do
    [ "$(driver foreground | tr -d '\r')" = "$stats_caption" ] && break
    sleep 0.1
  done
  [ "$(driver foreground | tr -d '\r')" = "$stats_caption" ] || fail "not brought forward"
  driver command 103
  for _ in $(seq 1 200); do
    [ "$(grep -ac "ComandNotification(103)" "$case_dir/veltraw.txt")" -ge 2 ] && break
    sleep 0.1
  done
  sleep 1  # time for a second dialog to show, were one made
  [ "$(driver count-dialogs "$stats_caption" | tr -d '\r')" = 1 ] || fail "not exactly one dialog"
  driver click "About Orvantis Veltraw" 1

  # Reset empties every chart and leaves the drift line; the next results
  # show in the open dialog.
  driver click "$stats_caption" 1012
  wait_bars none 20 "after Reset"
  [ "$(field "$stats_caption" 1010)" = "$drift" ] || fail "Reset changed the drift"
  local rows
  rows=$(data_rows)
  driver tick
  wait_rows $((rows + 2)) 20
  wait_bars some 20 "results after Reset"

  # Closed, it opens again by a left click, with the same list.
  driver click "$stats_caption" 1
  driver wait-no-dialog "$stats_caption" 10000 || fail "OK did not close the dialog"
  driver icon lbuttonup
  driver wait-dialog "$stats_caption" 10000 || fail "no Statistics dialog from a left click"
  [ "$(driver item-data "$stats_caption" 1011 | tr -d '\r' | paste -sd ' ')" = "-1 0 1 2" ] ||
    fail "list items on the second opening"
  wait_bars some 20 "second opening"

  # Exit while the dialog is open ends the program as usual.
  exit_through_dialog 1
  expect_exit veltraw 0 15
}
