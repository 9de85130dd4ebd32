#!/usr/bin/env bash
# Builds everything and runs every test: the native suites, the same suites
# under AddressSanitizer + UndefinedBehaviorSanitizer and (those labelled tsan)
# ThreadSanitizer, the fuzzers for a bounded time, and the Windows build's
# suites under Wine; and last the README's run command, bounded.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${VELTRAW_OUT:-$root/out}
jobs=$(nproc)
fuzz_seconds=${VELTRAW_FUZZ_SECONDS:-30}

"$root/scripts/install-deps.sh"
source "$root/scripts/wine-env.sh"

step() { printf '\n===== %s =====\n' "$*"; }
configure() {  # dir, cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$out/$dir" -G "Unix Makefiles" "$@" >"$out/$dir.configure.log" 2>&1 ||
    { cat "$out/$dir.configure.log"; return 1; }
  cmake --build "$out/$dir" -j "$jobs"
}
mkdir -p "$out"

step "native build and tests"
configure native -DVELTRAW_BENCH=ON
(cd "$out/native" && ctest --output-on-failure)

step "AddressSanitizer + UndefinedBehaviorSanitizer"
CC=clang CXX=clang++ configure asan -DVELTRAW_SANITIZE=address,undefined
(cd "$out/asan" && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure)

step "ThreadSanitizer (concurrency suites)"
CC=clang CXX=clang++ configure tsan -DVELTRAW_SANITIZE=thread
(cd "$out/tsan" && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L tsan)

step "fuzzers (${fuzz_seconds} s each)"
CC=clang CXX=clang++ configure fuzz -DVELTRAW_TESTS=OFF -DVELTRAW_FUZZ=ON \
  -DVELTRAW_SANITIZE=address,undefined
(cd "$out/fuzz" && ctest --output-on-failure -L fuzz)
"$root/scripts/fuzz.sh" "$out/fuzz/fuzz" "$fuzz_seconds" "$out/fuzz-work"

step "Windows build and tests under Wine"
configure win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
(cd "$out/win" && ctest --output-on-failure)

step "the README's run command, bounded, on a fresh prefix"
# As a newcomer runs it: a fresh Wine prefix, the default settings. Every
# process it starts carries a mark, so that none may outlive it.
rm -rf "$out/run-check"
mark=veltraw-run-check-$$
VELTRAW_RUN_MARK=$mark VELTRAW_RUN_DIR="$out/run-check" WINEPREFIX="$out/run-check/wineprefix" \
  VELTRAW_RUN_SECONDS=150 bash "$root/scripts/run.sh" </dev/null
left_behind() { grep -lsz "^VELTRAW_RUN_MARK=$mark\$" /proc/[0-9]*/environ | cut -d/ -f3; }
for _ in $(seq 20); do
  [ -z "$(left_behind)" ] && break
  sleep 0.5
done
if [ -n "$(left_behind)" ]; then
  echo "the run command left processes behind:"
  ps -o pid,args -p "$(left_behind | paste -sd,)"
  exit 1
fi

step "all tests passed"
