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
# one thread, pairs per second.
#
#   sh bench/whole_program.sh [BUILD_DIR]     (default: build)
set -eu
build=${1:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
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
