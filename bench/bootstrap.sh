#!/bin/sh
# What --bootstrap costs: `--tree t.nwk` with and without `--bootstrap N`
# (default 200) on lists that repeat little (--mutation 400, SYNONYMS 1):
# 1,700 languages in 40 families at LEVEL 1, and the 8000-language LEVEL 0
# benchmark in 400 families. The two runs alternate, ROUNDS times (default
# 3), so that the load of a shared machine falls on both alike; every run is
# printed, then per database the least and the median processor time (user
# + system) and peak memory of each, and the ratios of the least and of the
# medians. The reports of the two runs must be the same bytes.
#
#   sh bench/bootstrap.sh [BUILD_DIR] [ROUNDS] [N]    (default: build 3 200)
set -eu
build=${1:-build}
rounds=${2:-3}
replicates=${3:-200}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# summary NAME FILE: least and median of the runs of one kind.
summary() {
  sort -n -k1,1 "$2" | awk -v name="$1" '{ cpu[++k] = $1 } END {
      printf "%s %.2f %.2f\n", name, cpu[1], cpu[int((k + 1) / 2)] }'
  sort -n -k2,2 "$2" | awk '{ mem[++k] = $2 } END { printf "%d %d\n", mem[1], mem[int((k + 1) / 2)] }'
}

for case in "1700 40 1" "8000 400 0"; do
  set -- $case
  db="$dir/db-$1.txt"
  "$build/tools/gendb" --languages "$1" --families "$2" --level "$3" --synonyms 1 --mutation 400 > "$db"
  echo "== $1 languages, $2 families, LEVEL $3, SYNONYMS 1, --mutation 400"
  : > "$dir/plain"
  : > "$dir/boot"
  round=1
  while [ "$round" -le "$rounds" ]; do
    for kind in plain boot; do
      if [ "$kind" = plain ]; then set -- --tree "$dir/t.nwk"; else
        set -- --tree "$dir/t.nwk" --bootstrap "$replicates"; fi
      /usr/bin/time -f "%U %S %M" -o "$dir/time" "$build/plix62c" "$@" < "$db" > "$dir/report-$kind"
      read -r user sys peak < "$dir/time"
      echo "$user $sys $peak" | awk '{ printf "%.2f %d\n", $1 + $2, $3 }' >> "$dir/$kind"
      echo "round $round, $*: $user s user, $sys s system, $peak KB peak"
    done
    cmp -s "$dir/report-plain" "$dir/report-boot" || { echo "the reports differ"; exit 1; }
    round=$((round + 1))
  done
  summary plain "$dir/plain" > "$dir/s-plain"
  summary boot "$dir/boot" > "$dir/s-boot"
  { cat "$dir/s-plain"; cat "$dir/s-boot"; } | paste - - | paste - - | awk -v n="$replicates" '{
      printf "processor time: without --bootstrap least %.2f s, median %.2f s; with --bootstrap %d least %.2f s, median %.2f s; ratio %.2f (least), %.2f (median)\n",
        $2, $3, n, $7, $8, $7 / $2, $8 / $3
      printf "peak memory: without least %d KB, median %d KB; with least %d KB, median %d KB\n",
        $4, $5, $9, $10 }'
done
