# The installer and its uninstaller, in a fresh Wine prefix of the case's own:
# a silent install with the clock service running, installed again over
# itself as a newer version is, the installed Veltraw running against a peer,
# and a silent uninstall that ends it, removes the service and everything else
# except the user's settings.
# Sourced by e2e.sh; CTest runs each case named on the next line.
# e2e cases: installer

installed_dir='C:\Program Files\Orvantis\Veltraw'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltraw'
user_run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

case_installer() {
  fresh_case installer
  [ -f "${VELTRAW_SETUP:-}" ] || fail "no installer at ${VELTRAW_SETUP:-?} (target installer)"
  export WINEPREFIX=$case_dir/wineprefix
  # Whatever happens, nothing of this prefix outlives the case.
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  wineboot --init >"$case_dir/wineboot.log" 2>&1 </dev/null || true
  # The first session of a prefix starts its system services slowly and
  # holds back others' until it ends.
  timeout 120 wineserver --wait || true

  wine "$VELTRAW_SETUP" /S >"$case_dir/setup.txt" 2>&1 </dev/null || fail "the installer failed"
  local folder="$WINEPREFIX/drive_c/Program Files/Orvantis/Veltraw"
  local shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Veltraw.lnk"
  cmp -s "$folder/Veltraw.exe" "$VELTRAW_EXE" || fail "Veltraw.exe not installed as built"
  cmp -s "$folder/veltraw-query.exe" "$VELTRAW_QUERY" || fail "veltraw-query.exe not installed"
  cmp -s "$folder/VeltrawService.exe" "$VELTRAW_SERVICE" || fail "VeltrawService.exe not installed"
  local service_log="$WINEPREFIX/drive_c/ProgramData/Orvantis/Veltraw/service.log"
  wait_until 30 "the clock service is not RUNNING" service_is RUNNING
  # Over itself, as a newer version is installed: the running service is
  # stopped before its program is replaced, and started again.
  wine "$VELTRAW_SETUP" /S >>"$case_dir/setup.txt" 2>&1 </dev/null || fail "the second install failed"
  wait_for_count "$service_log" "Clock service started" 2 30
  expect_text "$service_log" "Clock service stopped"
  service_is RUNNING || fail "the clock service is not RUNNING after the second install"
  [ -f "$folder/uninstall.exe" ] || fail "no uninstaller"
  [ -f "$shortcut" ] || fail "no Start-menu entry"
  # The link names its target in the shell's UTF-16 as well as in ANSI.
  grep -aqF "$installed_dir\\Veltraw.exe" "$shortcut" || fail "the Start-menu entry's target"

  expect_registry "$uninstall_key" DisplayName=Veltraw "DisplayVersion=$VELTRAW_VERSION" \
    Publisher=Orvantis "UninstallString=\"$installed_dir\\uninstall.exe\"" \
    "QuietUninstallString=\"$installed_dir\\uninstall.exe\" /S" \
    "DisplayIcon=$installed_dir\\Veltraw.exe,0"
  [ "$(wine "$installed_dir\\veltraw-query.exe" --version </dev/null | tr -d '\r')" = \
    "veltraw-query $VELTRAW_VERSION" ] || fail "veltraw-query --version"

  # Configured, so that no first-run question holds it; registered to start
  # with Windows by the machine's key and by the user's.
  configure Servers=dword:1 "Server1=$prefix.31"
  wine reg add "$run_key" /v VeltrawNTPClient /d "$installed_dir\\Veltraw.exe" /f >/dev/null
  wine reg add "$user_run_key" /v VeltrawNTPClient /d "$installed_dir\\Veltraw.exe" /f >/dev/null
  VELTRAW_EXE="$installed_dir\\Veltraw.exe" start_veltraw veltraw
  wait_for_text "$case_dir/veltraw.txt" "Tray tip: Veltraw using $prefix.31 / PC" 30
  driver running || fail "the installed Veltraw has no tray window"

  # Returns at once: the uninstaller goes on from a copy of itself.
  wine "$installed_dir\\uninstall.exe" /S </dev/null || fail "the uninstaller did not start"
  expect_exit veltraw 0 30
  # Done when every process of the prefix has ended.
  timeout 120 wineserver --wait || fail "the uninstaller did not finish"

  [ ! -e "$folder" ] || fail "the program folder is left: $(ls "$folder")"
  ! wine reg query 'HKLM\System\CurrentControlSet\Services\VeltrawClock' >/dev/null 2>&1 </dev/null ||
    fail "the clock service is left"
  [ ! -e "$WINEPREFIX/drive_c/Program Files/Orvantis" ] || fail "the empty Orvantis folder is left"
  [ ! -e "$shortcut" ] || fail "the Start-menu entry is left"
  ! wine reg query "$uninstall_key" >/dev/null 2>&1 </dev/null || fail "the uninstall entry is left"
  expect_registry "$run_key" VeltrawNTPClient=
  expect_registry "$user_run_key" VeltrawNTPClient=
  expect_registry "$key" "Server1=$prefix.31"
  driver running && fail "a tray window is left"

  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
