#!/usr/bin/env bash
# Times the naming of many URLs of one file name in one resource folder: the library's
# ResourceNames against the literal search from 2 it replaced. Prints a Markdown table.
#
# usage: bench/naming/run.sh [URLS...]   (default 5000 10000 20000 200000)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out="$here/bench/out"
mkdir -p "$out"
cmake --preset native >/dev/null && cmake --build --preset native --target lorvex_core -j2 >/dev/null
g++ -O2 -std=c++20 -I"$here/src" -I"$here/tests" "$here/bench/naming/naming.cpp" \
  "$here/build/native/liblorvex_core.a" -o "$out/naming"
"$out/naming" "$@"
