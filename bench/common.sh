# Shared by the benchmark scripts: timing with medians and peak memory, from one run.
# Needs GNU time (Debian package "time"), run as `command time` past bash's own keyword.

# measure NAME RUNS CMD...: runs CMD (stdout to /dev/null) RUNS times; prints the median
# wall time in seconds and the largest peak resident set in KiB as "NAME SECONDS KIB".
# A tool whose first run takes longer than MEASURE_SLOW seconds (default 60) runs once.
measure() {
  local name=$1 runs=$2; shift 2
  local times=() peak=0 i stats record
  record=$(mktemp)
  for ((i = 0; i < runs; i++)); do
    # Wall time from the shell's microsecond clock (GNU time's %e has 10 ms steps); peak
    # memory from GNU time.
    local start=$EPOCHREALTIME
    command time -f '%M' -o "$record" "$@" >/dev/null 2>/dev/null || true
    local end=$EPOCHREALTIME
    stats="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $(tail -n 1 "$record")"
    times+=("${stats% *}")
    if ((i == 0)) && awk -v t="${stats% *}" -v slow="${MEASURE_SLOW:-60}" 'BEGIN { exit !(t > slow) }'; then
      name="$name(1run)"
      runs=1
    fi
    (( ${stats#* } > peak )) && peak=${stats#* }
  done
  rm -f "$record"
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}')
  echo "$name $median $peak"
}

# table INPUT_BYTES REFERENCE_NAME < lines of "name seconds kib": prints a table with MB/s,
# peak memory and every tool's time as a ratio to the reference's.
table() {
  awk -v bytes="$1" -v ref="$2" '
    { name[NR]=$1; t[NR]=$2; m[NR]=$3; if ($1 == ref) rt=$2 }
    END {
      printf "%-28s %10s %10s %12s %12s\n", "tool", "median s", "MB/s", "peak MiB", "time/" ref
      for (i = 1; i <= NR; i++) {
        s = (t[i] > 0) ? t[i] : 0.005
        printf "%-28s %10.4f %10.1f %12.1f %12.2f\n", name[i], t[i], bytes/1e6/s, m[i]/1024, (rt > 0 ? t[i]/rt : 0)
      }
    }'
}
