# Shared by every end-to-end case: failing with the case's files shown, the
# Wine environment, peers and Xvfb, a fresh slate per case, settings written
# through regedit, Veltraw started in the background, and waiting for what a
# user would see. Sourced by e2e.sh.

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${case_dir:-}" ]; then
    for f in "$case_dir"/*.txt "$case_dir"/*.log "$case_dir"/*.csv "$case_dir"/*.exit; do
      [ -f "$f" ] || continue
      echo "---- $f" >&2
      tail -n 40 "$f" >&2
    done
  fi
  # Which Windows programs were still running, and for how long.
  echo "---- Windows programs" >&2
  ps -eo pid,etime,args | grep -aiE '[.]exe' | grep -av grep >&2 || true
  # A program left running keeps Wine, and with it CTest's output, open.
  [ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true
  exit 1
}

refuse_clock_capability() {
  local bounding
  bounding=$(awk '/^CapBnd:/ {print $2}' /proc/self/status)
  if (((0x$bounding >> 25) & 1)); then
    echo "refusing to run with CAP_SYS_TIME; start through: capsh --drop=cap_sys_time --" >&2
    exit 1
  fi
}

wine_env() {
  # shellcheck disable=SC1091
  . "$state/env.sh"
  export DISPLAY WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# The Windows form of a path of this machine (Wine maps / to Z:).
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }

setup() {
  mkdir -p "$state"
  sh "$peers_script" start "$prefix" "$state/peers"
  veltraw_xvfb_start "$state" 90
  rm -rf "$state/wineprefix"
  printf 'DISPLAY=%s\nWINEPREFIX=%s\n' "$DISPLAY" "$state/wineprefix" >"$state/env.sh"
  veltraw_wine_prefix "$state/wineprefix"
}

teardown() {
  if [ -f "$state/env.sh" ]; then
    wine_env
    wineserver -k 2>/dev/null || true
  fi
  veltraw_stop_pidfile "$state/xvfb.pid"
  sh "$peers_script" stop "$prefix" "$state/peers"
}

# Every Wine program a case waits for gets a limit. Now and then one has hung
# (a case then waited for CTest's limit and ended without a word); one over
# the limit is stopped and named, and the check it served fails as usual.
# Veltraw itself, which runs on in the background, goes without.
wine_program=$(type -P wine || echo wine)
wine() {
  local status=0
  timeout -k 5 60 "$wine_program" "$@" || status=$?
  [ "$status" != 124 ] || echo "wine $*: still running after 60 s, stopped" >&2
  return "$status"
}

driver() { wine "$VELTRAW_DRIVER" "$@" </dev/null | tr -d '\r'; }

# A clean slate: no instance, no settings, no auto-launch entry.
fresh_case() {
  case_dir=$state/$1
  rm -rf "$case_dir"
  mkdir -p "$case_dir"
  # Debian's Wine ends its server as soon as the last program ends (-p0), so
  # the programs of a case, which come and go, each met a session starting
  # up or winding down, and a start that showed nothing for 30 s was seen.
  # One session, started clean (no instance left by an earlier case), lasts
  # the whole case.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine reg delete "$key" /f >/dev/null 2>&1 || true
  wine reg delete "$run_key" /v VeltrawNTPClient /f >/dev/null 2>&1 || true
}

# Settings as NAME=dword:N or NAME=TEXT, written with regedit in one go.
configure() {
  local reg=$case_dir/settings.reg
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_CURRENT_USER\Software\Orvantis\Veltraw]'
    local pair name value
    for pair in "$@"; do
      name=${pair%%=*}
      value=${pair#*=}
      case $value in
        dword:*) printf '"%s"=dword:%08x\n' "$name" "${value#dword:}" ;;
        *) printf '"%s"="%s"\n' "$name" "$(printf '%s' "$value" | sed 's/\\/\\\\/g; s/"/\\"/g')" ;;
      esac
    done
  } >"$reg"
  wine regedit /S "$(winpath "$reg")" </dev/null
}

# Starts Veltraw in the background; its stderr carries every log entry.
start_veltraw() {
  local name=$1
  shift
  rm -f "$case_dir/$name.exit"
  (
    set +e
    "$wine_program" "$VELTRAW_EXE" "$@" >"$case_dir/$name.txt" 2>&1 </dev/null
    echo $? >"$case_dir/$name.exit"
  ) &
}

# A fresh case NAME with SETTINGS (as for configure), its Veltraw started as
# veltraw and showing in its tooltip that Server1 answered.
#   start_case NAME SETTINGS...
start_case() {
  local pair primary=
  fresh_case "$1"
  shift
  configure "$@"
  for pair in "$@"; do [ "${pair%%=*}" != Server1 ] || primary=${pair#*=}; done
  start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $primary / PC" 20
}

# Runs COMMAND... every 0.1 s until it succeeds; after SECONDS, the case
# fails with MESSAGE (and with its files shown).
#   wait_until SECONDS MESSAGE COMMAND...
wait_until() {
  local deadline=$((SECONDS + $1)) message=$2
  shift 2
  until "$@"; do
    [ $SECONDS -le $deadline ] || fail "$message"
    sleep 0.1
  done
}

# The program started as NAME ends within SECONDS, with exit code CODE.
#   expect_exit NAME CODE SECONDS
expect_exit() {
  local file=$case_dir/$1.exit
  wait_until "$3" "$1 did not end within $3 s" test -s "$file"
  [ "$(cat "$file")" = "$2" ] || fail "$1 ended with exit code $(cat "$file"), not $2"
}

# Ends the instance started as NAME (veltraw unless named) the way an
# uninstaller does; it must end cleanly.
uninstall_veltraw() {
  wine "$VELTRAW_EXE" -uninstall </dev/null
  expect_exit "${1:-veltraw}" 0 15
}

has_text() { grep -aqF -- "$2" "$1" 2>/dev/null; }
wait_for_text() { wait_until "$3" "no \"$2\" in $1 within $3 s" has_text "$1" "$2"; }

line_count() { grep -acF -- "$2" "$1" 2>/dev/null || true; }
has_count() { [ "$(line_count "$1" "$2")" -ge "$3" ]; }
wait_for_count() {  # file, text, count, seconds
  wait_until "$4" "fewer than $3 \"$2\" in $1 within $4 s" has_count "$1" "$2" "$3"
}

expect_text() { has_text "$1" "$2" || fail "no \"$2\" in $1"; }
expect_no_text() { ! has_text "$1" "$2" || fail "unexpected \"$2\" in $1"; }

# Checks several values of KEY; an empty VALUE means absent, a number reads
# as 0x and its hex digits, a text whole.
#   expect_registry KEY NAME=VALUE...
# The key is read as "reg export" writes it, in the program's code page
# ("reg query" would print texts in the console's). An export that did not
# come about (Wine under load) is asked again, up to three times; what reg
# said is kept beside the case's files, so that a failed check shows it.
expect_registry() {
  local where=$1 file=${case_dir:-$state}/export pair actual attempt
  shift
  for attempt in 1 2 3; do
    rm -f "$file.reg" "$file.txt"
    wine reg export "$where" "$(winpath "$file.reg")" /y >>"${case_dir:-$state}/registry.log" 2>&1 \
      </dev/null && break
    sleep 0.3
  done
  touch "$file.txt"
  [ ! -f "$file.reg" ] || iconv -f UTF-16 -t CP1252 "$file.reg" | tr -d '\r' >"$file.txt"
  for pair in "$@"; do
    actual=$(perl -ne 'BEGIN { $n = shift } next unless /^"\Q$n\E"=(.*)$/; $v = $1;
      if ($v =~ /^dword:([0-9a-f]+)$/) { printf "0x%x\n", hex $1 }
      elsif ($v =~ /^"(.*)"$/) { ($t = $1) =~ s/\\(.)/$1/g; print "$t\n" }' \
      "${pair%%=*}" <"$file.txt")
    [ "$actual" = "${pair#*=}" ] || fail "$where ${pair%%=*} is \"$actual\", not \"${pair#*=}\""
  done
}

# A dialog opened through its menu command, closed through a button.
open_dialog() {
  driver post command "$1"
  driver dialogs "$2" 1 15000 >/dev/null || fail "no \"$2\" dialog"
}
close_dialog() {
  driver click "$1" "$2"
  driver dialogs "$1" 0 10000 >/dev/null || fail "\"$1\" stayed open"
}

# A message box of the program shows within SECONDS (20 unless given), and
# TEXT is among its texts (kept in box.txt).
expect_box() {
  driver dialogs Veltraw 1 "${2:-20}000" >/dev/null || fail "no box \"$1\""
  driver texts Veltraw >"$case_dir/box.txt"
  expect_text "$case_dir/box.txt" "$1"
}

# The program started as NAME (veltraw unless named) runs and has handled
# whatever was posted to it before: a command outside the menu is logged
# when its turn comes.
expect_alive() {
  local out=$case_dir/${1:-veltraw}.txt seen
  seen=$(line_count "$out" "ComandNotification(102)")
  driver post command 102 || fail "the program ended"
  wait_for_count "$out" "ComandNotification(102)" $((seen + 1)) 10
}

# A control's text, and checks of a text or a box's state.
field() { driver text "$1" "$2"; }
expect_field() { [ "$(field "$1" "$2")" = "$3" ] || fail "\"$1\" $2 shows \"$(field "$1" "$2")\", not \"$3\""; }
expect_checked() {
  [ "$(driver checked "$1" "$2")" = "$3" ] || fail "\"$1\" box $2 is not $3"
}

exit_through_dialog() {
  open_dialog 101 "Exiting Veltraw"
  [ "$(driver checked "Exiting Veltraw" 1001)" = "$1" ] || driver click "Exiting Veltraw" 1001
  driver click "Exiting Veltraw" 1
}
