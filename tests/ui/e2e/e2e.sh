#!/usr/bin/env bash
# End-to-end tests of the real Veltraw.exe under Wine and Xvfb, against the
# peers of tests/peers on this build's own loopback block. What is checked is
# what a user or an administrator can see: the log, the CSV data file, the
# monitor command's output, the registry, the Run key, the boxes and dialogs.
#
#   e2e.sh setup STATE       peers, Xvfb and a fresh Wine prefix
#   e2e.sh teardown STATE    stops all of them
#   e2e.sh CASE STATE        one case (see the functions case_*)
#   e2e.sh NAME_setup|NAME_teardown STATE
#                            a fixture of some cases (the functions fixture_*)
#
# Environment (set by CTest): VELTRAW_EXE, VELTRAW_DRIVER, VELTRAW_APPEND_ARGS,
# VELTRAW_PEER_PREFIX. Nothing here may set the machine's clock: every command
# runs without CAP_SYS_TIME (CTest starts this script through capsh), and Wine
# itself refuses to step the clock.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
peers_script=$here/../../peers/peers.sh
action=$1
state=$2
prefix=${VELTRAW_PEER_PREFIX:?}
key='HKCU\Software\Orvantis\Veltraw'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'

# shellcheck source=../../../scripts/lib.sh
. "$here/../../../scripts/lib.sh"
# shellcheck source=lib.sh
. "$here/lib.sh"
for cases in "$here"/cases_*.sh; do
  # shellcheck disable=SC1090
  . "$cases"
done

case $action in
  setup) refuse_clock_capability; setup ;;
  teardown) teardown ;;
  *)
    step=case_$action
    [ "$(type -t "$step")" = function ] || step=fixture_$action
    if [ "$(type -t "$step")" != function ]; then
      echo "unknown case $action" >&2
      exit 2
    fi
    refuse_clock_capability
    wine_env
    "$step"
    ;;
esac
