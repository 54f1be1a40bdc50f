#!/usr/bin/env bash
# A longer fuzzing run: fuzz.sh [-r RUNS] [-m] [SECONDS] [TARGET...]
#
# Builds the fuzz targets (clang, optimised, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz and runs each TARGET (default:
# all of them) for SECONDS (default 60; 0 for no time limit) or RUNS inputs,
# whichever ends first. New inputs go to build-fuzz/corpus/<target>, kept from
# one run to the next; the tree's seed corpus is only read, unless -m merges
# into it the inputs that reach new code. A broken property stops its target
# with the input saved as build-fuzz/crash-<target>-*; the script then exits
# non-zero after the other targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=-1
merge=0
while getopts "r:m" opt; do
  case $opt in
    r) runs=$OPTARG ;;
    m) merge=1 ;;
    *) echo "usage: $0 [-r RUNS] [-m] [SECONDS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$root"/tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONSOPUNTOS_WERROR=ON \
  -DCONSOPUNTOS_SANITIZE=ON -DCONSOPUNTOS_FUZZ=ON -DCONSOPUNTOS_GUI=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j"$(nproc)"

failed=0
for t in "${targets[@]}"; do
  seeds="$root/tests/fuzz/corpus/$t"
  scratch="$build/corpus/$t"
  mkdir -p "$scratch"
  log="$build/fuzz-$t.log"
  start=$(date +%s)
  if LC_ALL=C.UTF-8 TZ=UTC "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -runs="$runs" -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$build/crash-$t-" "$scratch" "$seeds" >"$log" 2>&1; then
    status=ok
  else
    status="BROKEN (see $log)"
    failed=1
  fi
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz_$t: ${executed:-?} inputs in $(($(date +%s) - start)) s, $status"
  if [ $merge -eq 1 ] && [ "$status" = ok ]; then
    "$build/tests/fuzz/fuzz_$t" -merge=1 -max_len=4096 "$seeds" "$scratch" >>"$log" 2>&1
    echo "fuzz_$t: seed corpus now $(find "$seeds" -type f | wc -l) files"
  fi
done
exit $failed
