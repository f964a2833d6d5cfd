#!/usr/bin/env bash
# Times two builds of `lorvex mht` on one archive, alternating them run by run so that a busy
# machine slows both alike; prints both medians and their ratio.
#
# usage: bench/archive/compare.sh BEFORE_LORVEX AFTER_LORVEX ARCHIVE [ROUNDS (default 9)]
"$(dirname "${BASH_SOURCE[0]}")/../../scripts/setup" --bench >&2
a=$1 b=$2 archive=$3 rounds=${4:-9}
ta=() tb=()
for ((i=0;i<rounds;i++)); do
  for which in a b; do
    tool=${!which}; d=$(mktemp -d -p /dev/shm)  # tmpfs: disk speed does not count
    s=$EPOCHREALTIME; "$tool" mht "$archive" --work "$d" --doc 1 >/dev/null 2>&1; e=$EPOCHREALTIME
    rm -rf "$d"
    t=$(awk -v a="$s" -v b="$e" 'BEGIN{printf "%.4f", b-a}')
    if [ $which = a ]; then ta+=($t); else tb+=($t); fi
  done
done
med() { printf '%s\n' "$@" | sort -g | awk '{x[NR]=$1} END{print (NR%2)?x[(NR+1)/2]:(x[NR/2]+x[NR/2+1])/2}'; }
ma=$(med "${ta[@]}") mb=$(med "${tb[@]}")
echo "before median $ma s; after median $mb s; after/before $(awk -v a=$ma -v b=$mb 'BEGIN{printf "%.3f", b/a}')"
