#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets: bench/fuzz/run.sh [TARGET] [SECONDS]
#
# TARGET is a file name of tests/fuzz/ without ".cpp" (all targets when none or "all" is
# given). Each target runs for SECONDS, or by default until 10,000,000 runs or an hour,
# whichever comes first, on a scratch copy of its seed corpus (build/fuzz/corpus/TARGET, kept
# between runs so that a later run starts where the last one stopped) with its dictionary.
# Logs go to build/fuzz/logs/TARGET.log, reproducers of findings to build/fuzz/findings/TARGET/.
# Prints one line per target (executions, final coverage, seconds) and exits non-zero when any
# target found a crash, leak, time-out or memory blow-up.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$here/scripts/setup" --bench >&2  # the peers compared against; stdout stays the results
cd "$here"
target=${1:-all}
seconds=${2:-}
if [ -n "$seconds" ] && ! [[ "$seconds" =~ ^[0-9]+$ ]]; then
  echo "usage: bench/fuzz/run.sh [TARGET|all] [SECONDS]" >&2
  exit 2
fi

build=build/fuzz
mkdir -p build
# Two runs started together share one build: the second waits for the first's.
(
  flock 9
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "${LORVEX_JOBS:-$(nproc)}" >/dev/null
) 9>build/fuzz.lock

if [ "$target" = all ]; then
  targets=()
  for source in tests/fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
else
  [ -f "tests/fuzz/$target.cpp" ] || { echo "no fuzz target tests/fuzz/$target.cpp" >&2; exit 2; }
  targets=("$target")
fi

if [ -n "$seconds" ]; then
  limits=(-max_total_time="$seconds")
else
  limits=(-runs=10000000 -max_total_time=3600)
fi

# Targets that write files (the archive writer) do it in a folder of their own under TMPDIR:
# keep it in memory where the system offers that, so that the disk does not set the pace.
[ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

status=0
printf '%-18s %12s %8s %9s  %s\n' target executions cov seconds result
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t findings=$build/findings/$t log=$build/logs/$t.log
  mkdir -p "$corpus" "$findings" "$build/logs"
  cp -r "tests/fuzz/corpus/$t/." "$corpus/"
  options=("${limits[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/")
  [ -f "tests/fuzz/$t.dict" ] && options+=(-dict="tests/fuzz/$t.dict")
  start=$EPOCHREALTIME
  result=ok
  "$build/$t" "${options[@]}" "$corpus" >"$log" 2>&1 || result="FINDING (rc $?, see $log and $findings/)"
  taken=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", b - a }')
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2 || true)
  printf '%-18s %12s %8s %9s  %s\n' "$t" "${runs:-?}" "${cov:-?}" "$taken" "$result"
  [ "$result" = ok ] || status=1
done
exit $status
