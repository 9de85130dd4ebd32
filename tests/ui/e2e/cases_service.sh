# The clock service under Wine: registered with -install and running, a
# server measured and stepped by the service itself, a step the system
# refuses, servers it will not ask, clients that misbehave, and -remove.
# Wine runs every process as one user, so the pipe's and the folder's access
# rights cannot bite here. Sourced by e2e.sh.
# e2e cases: service

service_key='HKLM\Software\Orvantis\Veltraw\Service'

service_state() { wine sc query VeltrawClock </dev/null 2>&1 | tr -d '\r'; }
service_is() { service_state | grep -q "$1"; }

# Asks the service as the tray does; the answer on one line, also kept.
ask_service() {
  wine "$VELTRAW_SERVICE_CLIENT" ask "$1" </dev/null | tr -d '\r' | tee -a "$case_dir/answers.txt"
}
expect_answer() {  # server, the answer as a pattern (grep -E)
  local answer
  answer=$(ask_service "$1")
  printf '%s\n' "$answer" | grep -qE -- "$2" || fail "$1: \"$answer\" does not match \"$2\""
}

case_service() {
  fresh_case service
  local log="$WINEPREFIX/drive_c/ProgramData/Orvantis/Veltraw/service.log"
  # Removed whatever happens: a running service keeps the Wine session open.
  trap 'wine "$VELTRAW_SERVICE" -remove </dev/null >/dev/null 2>&1 || true' EXIT
  wine reg delete "$service_key" /f >/dev/null 2>&1 || true
  wine "$VELTRAW_SERVICE" -install >"$case_dir/install.txt" 2>&1 </dev/null ||
    fail "-install failed: $(cat "$case_dir/install.txt")"
  wait_until 30 "the service is not RUNNING" service_is RUNNING
  wait_for_text "$log" "Clock service started" 10

  # The tray asks the service once a step is due: 120 ms ahead the service
  # steps the clock by its own measurement; 5 s ahead it cannot (or, past its
  # limit of steps, will not), and the tray tells the user.
  wine reg add "$service_key" /v AllowedServers /t REG_MULTI_SZ /d "$prefix.60\\0$prefix.61" \
    /f >/dev/null </dev/null
  configure Servers=dword:1 "Server1=$prefix.60" Frequency=dword:2
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "The clock service stepped the clock" 30
  uninstall_veltraw
  configure "Server1=$prefix.61"
  start_veltraw ahead5s
  wait_for_text "$case_dir/ahead5s.txt" \
    "Tray notification: Veltraw cannot set the clock: The Veltraw clock service " 30
  expect_text "$case_dir/ahead5s.txt" "ms, not corrected"
  uninstall_veltraw ahead5s
  wine reg delete "$service_key" /f >/dev/null 2>&1 </dev/null
  # Installed again over itself, as a newer version is: stopped, updated,
  # started.
  wine "$VELTRAW_SERVICE" -install >>"$case_dir/install.txt" 2>&1 </dev/null ||
    fail "-install over the installed service failed"
  wait_for_count "$log" "Clock service started" 2 10
  expect_text "$log" "Clock service stopped"
  service_is RUNNING || fail "the service is not RUNNING after the second -install"

  # Without an administrator's list a server on this PC is not asked.
  expect_answer "$prefix.60" "^outcome Refused .*is a loopback address"

  # The list allows the loopback peers: 120 ms ahead is stepped (Wine takes
  # a small step without touching the host's clock), from the service's own
  # measurement; 5 s ahead the system refuses, and the answer says why.
  wine reg add "$service_key" /v AllowedServers /t REG_MULTI_SZ /d "$prefix.60\\0$prefix.61" \
    /f >/dev/null </dev/null
  expect_answer "$prefix.60" "^outcome Stepped status 0 offset 1[12][0-9]{4} us"
  grep -aqE "Measured $prefix.60: status 0, offset 1[12][0-9]{4} us" "$log" ||
    fail "the service's log lacks its own measurement"
  expect_text "$log" "Stepped the clock by "
  expect_answer "$prefix.61" "^outcome Failed status 0 offset (49|50)[0-9]{5} us.*[(]0x0*522 / 1314[)]"
  expect_answer "$prefix.31" "^outcome Refused .*not on the administrator's list"

  # Garbage and half a message are answered with a refusal; a silent client
  # and many at once are dropped within seconds; the service goes on serving.
  wine "$VELTRAW_SERVICE_CLIENT" garbage </dev/null || fail "garbage: the pipe stayed busy"
  wine "$VELTRAW_SERVICE_CLIENT" half </dev/null || fail "half: the pipe stayed busy"
  wine "$VELTRAW_SERVICE_CLIENT" silent 8000 </dev/null >"$case_dir/silent.txt" 2>&1 &
  wine "$VELTRAW_SERVICE_CLIENT" many 20 8000 </dev/null >"$case_dir/many.txt" 2>&1 &
  wait_until 60 "the service was not serving after the hostile clients" \
    eval "ask_service $prefix.60 | grep -q '^outcome Stepped'"
  wait
  expect_text "$log" "Dropped a client: no request"
  expect_text "$log" "malformed request: not a clock service message"
  expect_text "$log" "malformed request: wrong size"

  wine "$VELTRAW_SERVICE" -remove >"$case_dir/remove.txt" 2>&1 </dev/null || fail "-remove failed"
  trap - EXIT
  wait_until 10 "the service is still registered" \
    eval "! wine reg query 'HKLM\\System\\CurrentControlSet\\Services\\VeltrawClock' >/dev/null 2>&1 </dev/null"
  # Another program that takes the pipe's name is not the service: the
  # client does not believe its answer.
  wine "$VELTRAW_SERVICE_CLIENT" squat </dev/null >"$case_dir/squat.txt" 2>&1 &
  wait_for_text "$case_dir/squat.txt" listening 20
  expect_answer "$prefix.60" "^outcome Absent .*served by another program"
  wait
}
