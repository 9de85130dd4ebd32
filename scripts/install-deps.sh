#!/usr/bin/env bash
# Installs the Debian packages Veltraw's builds and tests need, if any is missing.
set -euo pipefail

packages=(
  cmake make g++ python3 procps iproute2
  clang libclang-rt-dev               # sanitizers and libFuzzer
  googletest libbenchmark-dev         # GoogleTest sources for both builds, Google Benchmark
  g++-mingw-w64-x86-64-posix          # the Windows build
  wine wine64 xvfb xauth              # running it
  chrony                              # a real time server for the tests (run with -x only)
  libcap2-bin                         # capsh: end-to-end runs drop the right to set the clock
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Never let a package start its service here: a system time daemon would try
# to set this machine's clock.
policy=/usr/sbin/policy-rc.d
added_policy=""
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  added_policy=1
fi
trap '[ -n "$added_policy" ] && $sudo rm -f "$policy"' EXIT
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q "${missing[@]}"  # with recommends: Wine's fonts come that way
