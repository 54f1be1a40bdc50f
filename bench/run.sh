#!/usr/bin/env bash
# The transmission benchmark: for each size, builds the scenario once, checks
# that the program sending its row streams in chunks, the program row by row
# (FilasPorLote=1), the baseline and the peer leave identical databases (and,
# for the sizes listed in -t, that the program row by row and the baseline
# send the same statement stream), then times them alternately on fresh
# copies and prints the figures. Reports only; asserts no time.
#
#   bash bench/run.sh [-r REPS] [-s "small medium large"] [-t "small medium"]
#                     [-f ROWS] [-d WORKDIR] [-b BUILDDIR] [--no-build]
#   -f ROWS   FilasPorLote of the chunked runs (default: the program's default)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

reps=7
sizes="small medium large"
traced="small medium"
chunk_rows=""
work=/dev/shm/consopuntos-bench
[ -d /dev/shm ] || work=${TMPDIR:-/tmp}/consopuntos-bench
build="$root/build-bench"
do_build=1
usage() {
  sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    -r) reps=$2; shift 2 ;;
    -s) sizes=$2; shift 2 ;;
    -t) traced=$2; shift 2 ;;
    -f) chunk_rows=$2; shift 2 ;;
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

# Each runner runs in $run; failures end the harness. The program runs in
# chunks (run_chunks) or row by row (run_rowbyrow).
run_program() {
  local mode=$1
  shift
  bench_app_dir "$(mode_rows "$mode")"
  printf '%s\r\n' "$run/srv" > "$work/app/SERVIDORES.cfg"
  (cd "$run" && XDG_CONFIG_DIRS="$work/xdg" QT_QPA_PLATFORM=offscreen timeout 1800 \
    "$@" "$program" "$run/srv" SYSDBA masterkey BENCH x x x x x S "$corta")
  if compgen -G "$run/ERRORES.TXT" > /dev/null || compgen -G "$work/app/*ERRORENVPTOS*" > /dev/null; then
    echo "the program reported a failure:" >&2
    cat "$run"/ERRORES.TXT "$work"/app/*ERRORENVPTOS* 2> /dev/null >&2 || true
    exit 1
  fi
}
run_chunks() { run_program chunks "$@"; }
run_rowbyrow() { run_program rowbyrow "$@"; }
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
echo "Load at start: $(cut -d' ' -f1-3 /proc/loadavg); repetitions: $reps; work folder: $work; chunks: FilasPorLote=${chunk_rows:-(default)}"
table="| size | B | C | S | rows | chunks s | row by row s | baseline s | peer s | row by row/chunks | row by row/baseline | chunks/peer | µs/row chunks | µs/row row by row | peak RSS MB chunks | peak RSS MB row by row |
|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"

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
  for mode in rowbyrow chunks; do
    fresh "$tpl"
    if [ -n "$trace" ]; then
      run_program $mode env BENCH_TRACE="$check/stream.$mode" LD_PRELOAD="$tracer"
    else
      run_program $mode
    fi
    bash "$root/bench/dump.sh" "$run" > "$check/$mode"
  done
  fresh "$tpl"
  run_peer
  bash "$root/bench/dump.sh" "$run" > "$check/peer"
  if cmp -s "$check/chunks" "$check/baseline" && cmp -s "$check/rowbyrow" "$check/baseline" &&
    cmp -s "$check/chunks" "$check/peer"; then
    echo "databases: identical (chunks, row by row, baseline, peer)"
  else
    echo "databases: DIFFERENT"
    for m in rowbyrow baseline peer; do diff "$check/chunks" "$check/$m" | head -20 || true; done
  fi
  if [ -n "$trace" ]; then
    if cmp -s "$check/stream.rowbyrow" "$check/stream.baseline"; then
      echo "statement stream row by row: identical to the baseline's ($(grep -c '^prepare' "$check/stream.rowbyrow") statements, $(grep -c '^commit' "$check/stream.rowbyrow") commits)"
    else
      echo "statement stream row by row: DIFFERENT from the baseline's"
      diff "$check/stream.rowbyrow" "$check/stream.baseline" | head -20 || true
    fi
    echo "statement stream in chunks: $(grep -c '^prepare' "$check/stream.chunks") statements, $(grep -c '^commit' "$check/stream.chunks") commits"
  fi

  # Timed, alternately, each on a fresh copy.
  out="$work/times-$size"
  rm -f "$out".*
  echo "== $size: timing $reps repetitions (load $(cut -d' ' -f1 /proc/loadavg))"
  # The order turns round every repetition, so that drift in the machine's
  # speed weighs on every runner alike; the two modes of the program, and the
  # program row by row and the baseline, always run next to each other.
  for ((r = 1; r <= reps; r++)); do
    order="chunks rowbyrow baseline peer"
    if ((r % 2 == 0)); then order="peer baseline rowbyrow chunks"; fi
    for name in $order; do
      fresh "$tpl"
      timed "$name"
    done
    echo "  rep $r: chunks $(tail -1 "$out.chunks" | cut -d' ' -f1) s, row by row $(tail -1 "$out.rowbyrow" | cut -d' ' -f1) s, baseline $(tail -1 "$out.baseline" | cut -d' ' -f1) s, peer $(tail -1 "$out.peer" | cut -d' ' -f1) s"
  done
  tc=$(cut -d' ' -f1 "$out.chunks" | median)
  tr=$(cut -d' ' -f1 "$out.rowbyrow" | median)
  tb=$(cut -d' ' -f1 "$out.baseline" | median)
  tq=$(cut -d' ' -f1 "$out.peer" | median)
  mc=$(cut -d' ' -f2 "$out.chunks" | sort -g | tail -1)
  mr=$(cut -d' ' -f2 "$out.rowbyrow" | sort -g | tail -1)
  # Ratios: the median of each repetition's own ratio (runs taken minutes
  # apart do not meet in one ratio).
  rrc=$(paste -d' ' "$out.rowbyrow" "$out.chunks" | awk '{ print $1 / $4 }' | median)
  rrb=$(paste -d' ' "$out.rowbyrow" "$out.baseline" | awk '{ print $1 / $4 }' | median)
  rcq=$(paste -d' ' "$out.chunks" "$out.peer" | awk '{ print $1 / $4 }' | median)
  line=$(awk -v s="$size" -v B="$B" -v C="$C" -v S="$S" -v n="$rows" -v c="$tc" -v r="$tr" -v b="$tb" -v q="$tq" \
    -v rrc="$rrc" -v rrb="$rrb" -v rcq="$rcq" -v mc="$mc" -v mr="$mr" \
    'BEGIN { printf "| %s | %d | %d | %d | %d | %.2f | %.2f | %.2f | %.2f | %.3f | %.3f | %.3f | %.1f | %.1f | %.1f | %.1f |", s, B, C, S, n, c, r, b, q, rrc, rrb, rcq, c / n * 1e6, r / n * 1e6, mc / 1024, mr / 1024 }')
  echo "$line"
  table+=$'\n'"$line"
done
rm -rf "$run"

echo
echo "Load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Median wall times; rows = rows the run writes (customers copied, procedure calls, accumulated rows refilled);"
echo "ratios: medians of the repetitions' own ratios; peak RSS = highest of the runs in that mode."
echo "$table"
