# Sourced: a quiet Wine prefix of the project's own, made once.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}  # no Mono or Gecko prompts
export WINEPREFIX=${WINEPREFIX:-${VELTRAW_OUT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/out}/wineprefix}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1 || true
  wineserver --wait || true
fi
