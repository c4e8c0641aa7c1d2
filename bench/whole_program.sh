#!/bin/sh
# Whole-program benchmark: 8000 languages in 400 families made by the
# generator, LEVEL 0 with SYNONYMS 1 and 2, and a LEVEL 1 case. For each:
# wall-clock time and peak memory of the program (all processors, and one
# processor through taskset), then bench/whole_program.cpp's figures: the
# literal reference per pair on a sample, the engine on one thread, pairs
# per second.
#
#   sh bench/whole_program.sh [BUILD_DIR]     (default: build)
set -eu
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for case in "0 1" "0 2" "1 1"; do
  set -- $case
  db="$dir/level$1-syn$2.txt"
  "$build/tools/gendb" --languages 8000 --families 400 --level "$1" --synonyms "$2" > "$db"
  echo "== 8000 languages, 400 families, LEVEL $1, SYNONYMS $2"
  /usr/bin/time -f "whole program: %e s wall, %U s user, %M KB peak" \
    "$build/plix62c" < "$db" > "$dir/out"
  if [ "$1" = 0 ] && [ "$2" = 1 ] && command -v taskset > /dev/null; then
    /usr/bin/time -f "whole program on one processor: %e s wall" \
      taskset -c 0 "$build/plix62c" < "$db" > "$dir/out1"
    cmp -s "$dir/out" "$dir/out1" && echo "report identical on one and on all processors"
  fi
  "$build/bench/plix_whole_bench" "$db"
done
