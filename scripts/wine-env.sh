# Sourced: a quiet Wine prefix of the project's own, made once, in the
# Windows build tree's output directory.
# shellcheck source=lib.sh
. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh"
veltraw_wine_prefix "${WINEPREFIX:-${VELTRAW_OUT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/out}/wineprefix}"
