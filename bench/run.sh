#!/usr/bin/env bash
# The transmission benchmark: for each size, builds the scenario once, checks
# that the program, the baseline and the peer leave identical databases (and,
# for the sizes listed in -t, that the program and the baseline send the same
# statement stream), then times them alternately on fresh copies and prints
# the figures. Reports only; asserts no time.
#
#   bash bench/run.sh [-r REPS] [-s "small medium large"] [-t "small medium"]
#                     [-d WORKDIR] [-b BUILDDIR] [--no-build]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

reps=7
sizes="small medium large"
traced="small medium"
work=/dev/shm/consopuntos-bench
[ -d /dev/shm ] || work=${TMPDIR:-/tmp}/consopuntos-bench
build="$root/build-bench"
do_build=1
usage() {
  sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    -r) reps=$2; shift 2 ;;
    -s) sizes=$2; shift 2 ;;
    -t) traced=$2; shift 2 ;;
    -d) work=$2; shift 2 ;;
    -b) build=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) usage ;;
  esac
done
[[ $reps =~ ^[1-9][0-9]*$ ]] || usage

# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
for s in $sizes; do params "$s" > /dev/null; done

if [ "$do_build" = 1 ]; then bench_build consopuntos bench_baseline bench_trace; fi
program="$build/app/consopuntos"
baseline="$build/bench/bench_baseline"
tracer="$build/bench/libbench_trace.so"
for f in "$program" "$baseline" "$tracer"; do [ -e "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }; done

mkdir -p "$work"
work=$(cd "$work" && pwd)
run="$work/run"
fecha=2008-12-01
corta=$(date -d "$fecha" +%-m/%-d/%y)
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
export LC_ALL=C.UTF-8

# The program's settings: application directory and server list.
bench_app_dir
printf '%s\r\n' "$run/srv" > "$work/app/SERVIDORES.cfg"

# Each runner runs in $run; failures end the harness.
run_program() {
  (cd "$run" && XDG_CONFIG_DIRS="$work/xdg" QT_QPA_PLATFORM=offscreen timeout 1800 \
    "$@" "$program" "$run/srv" SYSDBA masterkey BENCH x x x x x S "$corta")
  if compgen -G "$run/ERRORES.TXT" > /dev/null || compgen -G "$work/app/*ERRORENVPTOS*" > /dev/null; then
    echo "the program reported a failure:" >&2
    cat "$run"/ERRORES.TXT "$work"/app/*ERRORENVPTOS* 2> /dev/null >&2 || true
    exit 1
  fi
}
run_baseline() { "$@" "$baseline" "$run/srv" SYSDBA masterkey BENCH "$fecha" > /dev/null; }
run_peer() { "$@" isql-fb -q -b -i "$peer" > /dev/null; }

# timed NAME: runs run_NAME under /usr/bin/time; appends "wall peakRSS-KB cpu"
# (cpu = user + system seconds) to $out.NAME.
timed() {
  local name=$1 t0 t1
  t0=$(date +%s.%N)
  "run_$1" /usr/bin/time -f "%M %U %S" -o "$work/rss"
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'END { printf "%.3f %d %.2f\n", b - a, $1, $2 + $3 }' "$work/rss" >> "$out.$name"
}

median() { sort -g | awk '{ a[NR] = $1 } END { if (NR % 2) printf "%.3f", a[(NR + 1) / 2]; else printf "%.3f", (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(awk '/MemTotal/ { printf "%.1f GB", $2 / 1048576 }' /proc/meminfo)"
echo "Load at start: $(cut -d' ' -f1-3 /proc/loadavg); repetitions: $reps; work folder: $work"
table="| size | B | C | S | rows | program s | baseline s | peer s | program/baseline | program/peer | rows/s | µs/row | baseline µs/row | peak RSS MB | CPU program/baseline |
|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"

for size in $sizes; do
  read -r B C S <<< "$(params "$size")"
  tpl="$work/tpl-$size"
  if [ "$(cat "$tpl.params" 2> /dev/null)" != "$B $C $S $run" ]; then
    echo "== $size: generating B=$B C=$C S=$S"
    rm -rf "$tpl"
    bash "$root/bench/make_scenario.sh" "$tpl" "$B" "$C" "$S" "" "$fecha" "$run" > /dev/null
    echo "$B $C $S $run" > "$tpl.params"
  fi
  peer="$work/peer-$size.sql"
  check="$work/check-$size"
  rm -rf "$check"
  mkdir -p "$check"

  # Untimed: the peer script, the equality of the databases, the stream.
  echo "== $size: checking"
  trace=""
  if [[ " $traced " == *" $size "* ]]; then trace=1; fi
  fresh "$tpl"
  if [ -n "$trace" ]; then
    rows=$(BENCH_TRACE="$check/stream.baseline" LD_PRELOAD="$tracer" "$baseline" "$run/srv" SYSDBA masterkey BENCH "$fecha" --peer "$peer")
  else
    rows=$("$baseline" "$run/srv" SYSDBA masterkey BENCH "$fecha" --peer "$peer")
  fi
  rows=${rows##* }
  bash "$root/bench/dump.sh" "$run" > "$check/baseline"
  fresh "$tpl"
  if [ -n "$trace" ]; then
    run_program env BENCH_TRACE="$check/stream.program" LD_PRELOAD="$tracer"
  else
    run_program
  fi
  bash "$root/bench/dump.sh" "$run" > "$check/program"
  fresh "$tpl"
  run_peer
  bash "$root/bench/dump.sh" "$run" > "$check/peer"
  if cmp -s "$check/program" "$check/baseline" && cmp -s "$check/program" "$check/peer"; then
    echo "databases: identical (program, baseline, peer)"
  else
    echo "databases: DIFFERENT"
    diff "$check/program" "$check/baseline" | head -20 || true
    diff "$check/program" "$check/peer" | head -20 || true
  fi
  if [ -n "$trace" ]; then
    if cmp -s "$check/stream.program" "$check/stream.baseline"; then
      echo "statement stream: identical ($(grep -c '^prepare' "$check/stream.program") statements, $(grep -c '^commit' "$check/stream.program") commits)"
    else
      echo "statement stream: DIFFERENT"
      diff "$check/stream.program" "$check/stream.baseline" | head -20 || true
    fi
  fi

  # Timed, alternately, each on a fresh copy.
  out="$work/times-$size"
  rm -f "$out".*
  echo "== $size: timing $reps repetitions (load $(cut -d' ' -f1 /proc/loadavg))"
  # The order turns round every repetition, so that drift in the machine's
  # speed weighs on every runner alike; program and baseline always run
  # next to each other.
  for ((r = 1; r <= reps; r++)); do
    order="program baseline peer"
    if ((r % 2 == 0)); then order="peer baseline program"; fi
    for name in $order; do
      fresh "$tpl"
      timed "$name"
    done
    echo "  rep $r: program $(tail -1 "$out.program" | cut -d' ' -f1) s, baseline $(tail -1 "$out.baseline" | cut -d' ' -f1) s, peer $(tail -1 "$out.peer" | cut -d' ' -f1) s"
  done
  tp=$(cut -d' ' -f1 "$out.program" | median)
  tb=$(cut -d' ' -f1 "$out.baseline" | median)
  tq=$(cut -d' ' -f1 "$out.peer" | median)
  rss=$(cut -d' ' -f2 "$out.program" | sort -g | tail -1)
  # Ratios: the median of each repetition's own ratio (runs taken minutes
  # apart do not meet in one ratio).
  rb=$(paste -d' ' "$out.program" "$out.baseline" | awk '{ print $1 / $4 }' | median)
  rq=$(paste -d' ' "$out.program" "$out.peer" | awk '{ print $1 / $4 }' | median)
  rc=$(paste -d' ' "$out.program" "$out.baseline" | awk '{ print $3 / $6 }' | median)
  line=$(awk -v s="$size" -v B="$B" -v C="$C" -v S="$S" -v n="$rows" -v p="$tp" -v b="$tb" -v q="$tq" -v m="$rss" \
    -v rb="$rb" -v rq="$rq" -v rc="$rc" \
    'BEGIN { printf "| %s | %d | %d | %d | %d | %.2f | %.2f | %.2f | %.3f | %.3f | %.0f | %.1f | %.1f | %.1f | %.3f |", s, B, C, S, n, p, b, q, rb, rq, n / p, p / n * 1e6, b / n * 1e6, m / 1024, rc }')
  echo "$line"
  table+=$'\n'"$line"
done
rm -rf "$run"

echo
echo "Load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Median wall times; rows = rows the run writes (customers copied, procedure calls, accumulated rows refilled);"
echo "program/baseline, program/peer and CPU (user+system seconds) program/baseline: medians of the repetitions' own ratios;"
echo "µs/row = program time per row; peak RSS = highest of the program's runs."
echo "$table"
