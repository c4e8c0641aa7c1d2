#!/bin/sh
# Whole-program benchmark, 8000 languages in 400 families made by the
# generator. First word lists that repeat little, as real ones do (each
# sound redrawn with chance 0.4 at every edge of the tree: --mutation 400),
# then the generator's default lists, whose neighbours repeat most of their
# words, so that the kernel's slot sharing saves much of the work. Each at
# LEVEL 0 with SYNONYMS 1 and 2; the default lists also at LEVEL 1.
# For each: wall-clock time and peak memory of the program (all processors,
# and for SYNONYMS 1 one processor through taskset), then
# bench/whole_program.cpp's figures: the share of meaning slots that slot
# sharing saves, the literal reference per pair on a sample, the engine on
# one thread, pairs per second. Last, every kernel path of this processor
# (the list from the program's own refusal of an empty PLIX62C_KERNEL) on
# the low-repeat lists, SYNONYMS 1 and 2: processor time and wall clock of
# the whole program, the report compared with that of the default path,
# then the kernel micro-benchmark of every path.
#
#   sh bench/whole_program.sh [BUILD_DIR]     (default: build)
#
# With "growth" after the build folder it measures instead how time and
# memory grow with the languages, on lists that repeat little
# (--mutation 400), 400 families: LEVEL 0, SYNONYMS 1 at 8000 and 20,000
# languages (31.9 M and 200 M pairs), and LEVEL 1 at 5000, 10,000 and
# 20,000. The sizes run in turn, ROUNDS times (default 3), so that the load
# of a shared machine falls on all of them alike; for each size it prints
# every run, then the least and the median processor time (user + system)
# and peak memory.
#
#   sh bench/whole_program.sh BUILD_DIR growth [ROUNDS]
#
# With "paths" it runs only the comparison of every kernel path (and the
# micro-benchmark after it), on LANGUAGES low-repeat lists (default 8000):
#
#   sh bench/whole_program.sh BUILD_DIR paths [LANGUAGES]
set -eu
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# growth LEVEL SIZES...: the interleaved runs and their least and median.
growth() {
  level=$1
  shift
  for n in "$@"; do
    "$build/tools/gendb" --languages "$n" --families 400 --level "$level" --synonyms 1 \
      --mutation 400 > "$dir/growth-$level-$n.txt"
  done
  round=1
  while [ "$round" -le "$rounds" ]; do
    for n in "$@"; do
      /usr/bin/time -f "%U %S %M" -o "$dir/time" "$build/plix62c" < "$dir/growth-$level-$n.txt" \
        > "$dir/out-$level-$n"
      read -r user sys peak < "$dir/time"
      echo "$n $user $sys $peak" >> "$dir/runs-$level"
      echo "LEVEL $level, $n languages, round $round: $user s user, $sys s system, $peak KB peak"
    done
    round=$((round + 1))
  done
  for n in "$@"; do
    awk -v n="$n" -v level="$level" '$1 == n { cpu[++k] = $2 + $3; mem[k] = $4 }
      END {
        for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) {
          if (cpu[j] < cpu[i]) { t = cpu[i]; cpu[i] = cpu[j]; cpu[j] = t }
          if (mem[j] < mem[i]) { t = mem[i]; mem[i] = mem[j]; mem[j] = t }
        }
        printf "LEVEL %s, %s languages: processor time least %.2f s, median %.2f s; peak memory least %d KB, median %d KB\n",
          level, n, cpu[1], cpu[int((k + 1) / 2)], mem[1], mem[int((k + 1) / 2)]
      }' "$dir/runs-$level"
  done
}

if [ "${2:-}" = growth ]; then
  rounds=${3:-3}
  echo "== growth, lists that repeat little (--mutation 400), 400 families, SYNONYMS 1"
  growth 0 8000 20000
  growth 1 5000 10000 20000
  exit 0
fi
# every_path LANGUAGES: each kernel path of this processor on the low-repeat
# lists, SYNONYMS 1 and 2, then the micro-benchmark of every path.
every_path() {
  paths=$(PLIX62C_KERNEL= "$build/plix62c" < /dev/null 2>&1 >/dev/null |
    sed -n 's/.*the paths of this processor are: //p' | tr -d ',')
  for syn in 1 2; do
    db="$dir/mutation400-level0-syn$syn.txt"
    [ -f "$db" ] || "$build/tools/gendb" --languages "$1" --families 400 --level 0 \
      --synonyms "$syn" --mutation 400 > "$db"
    echo "== every path: $1 languages, LEVEL 0, SYNONYMS $syn, lists that repeat little"
    "$build/plix62c" < "$db" > "$dir/default"
    for path in $paths; do
      PLIX62C_KERNEL=$path /usr/bin/time -f "$path: %U s user + %S s system, %e s wall" \
        "$build/plix62c" < "$db" > "$dir/out"
      if cmp -s "$dir/out" "$dir/default"; then echo "$path: report identical to the default path's"
      else echo "$path: REPORT DIFFERS from the default path's"; fi
    done
  done
  "$build/bench/plix_bench" --benchmark_filter=EnginePair
}

if [ "${2:-}" = paths ]; then
  every_path "${3:-8000}"
  exit 0
fi
for case in "400 0 1" "400 0 2" "0 0 1" "0 0 2" "0 1 1"; do
  set -- $case
  db="$dir/mutation$1-level$2-syn$3.txt"
  "$build/tools/gendb" --languages 8000 --families 400 --level "$2" --synonyms "$3" \
    --mutation "$1" > "$db"
  if [ "$1" = 0 ]; then kind="default lists"; else kind="lists that repeat little (--mutation $1)"; fi
  echo "== 8000 languages, 400 families, LEVEL $2, SYNONYMS $3, $kind"
  /usr/bin/time -f "whole program: %e s wall, %U s user, %M KB peak" \
    "$build/plix62c" < "$db" > "$dir/out"
  if [ "$2" = 0 ] && [ "$3" = 1 ] && command -v taskset > /dev/null; then
    /usr/bin/time -f "whole program on one processor: %e s wall" \
      taskset -c 0 "$build/plix62c" < "$db" > "$dir/out1"
    cmp -s "$dir/out" "$dir/out1" && echo "report identical on one and on all processors"
  fi
  "$build/bench/plix_whole_bench" "$db"
done
every_path 8000
