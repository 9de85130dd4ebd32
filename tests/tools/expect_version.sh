#!/bin/sh
# expect_version.sh EXPECTED COMMAND...: COMMAND succeeds and prints exactly
# the line EXPECTED.
expected=$1
shift
output=$("$@") || { echo "exit status $? from $*"; exit 1; }
output=$(printf '%s\n' "$output" | tr -d '\r')
[ "$output" = "$expected" ] || { echo "printed \"$output\", not \"$expected\""; exit 1; }
