#!/usr/bin/env bash
# The transmission across a network: every database behind the private
# Firebird server (scripts/fbserver.sh), reached through the project's
# delaying, counting proxy (bench_proxy) at a chosen round-trip time, the
# program sending its row streams in chunks and row by row (FilasPorLote=1).
# For each size: checks once that both modes and the baseline leave the
# databases the embedded run leaves, and that the program row by row and the
# baseline send the same statement stream; counts the round trips by
# statement kind (client side, bench_trace) and in all (the proxy) for both
# modes, and per row written; then times both modes next to each other at
# every RTT. Reports only; asserts no time.
#
#   bash bench/latency.sh [-s "small medium"] [-l "0 1 5 20"] [-r REPS] [-f ROWS]
#                         [-e "RTTS"] [-z] [-d WORKDIR] [-b BUILDDIR] [--no-build]
#   -f ROWS   FilasPorLote of the chunked runs (default: the program's default)
#   -e RTTS   RTTs at which row by row is not timed but estimated: its time at
#             RTT 0 plus its round trips times the RTT (marked ~)
#   -z        the program with CompresionRed=SI (the client's wire compression)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

sizes="small medium"
rtts="0 1 5 20"
estimate=""
chunk_rows=""
reps=1
work=/dev/shm/consopuntos-latency
[ -d /dev/shm ] || work=${TMPDIR:-/tmp}/consopuntos-latency
build="$root/build-bench"
do_build=1
usage() {
  sed -n '2,20p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    -s) sizes=$2; shift 2 ;;
    -l) rtts=$2; shift 2 ;;
    -r) reps=$2; shift 2 ;;
    -f) chunk_rows=$2; shift 2 ;;
    -e) estimate=$2; shift 2 ;;
    -z) export compression=1; shift ;;
    -d) work=$2; shift 2 ;;
    -b) build=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    *) usage ;;
  esac
done

# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
for s in $sizes; do params "$s" > /dev/null; done

if [ "$do_build" = 1 ]; then bench_build consopuntos bench_baseline bench_trace bench_proxy; fi
program="$build/app/consopuntos"
baseline="$build/bench/bench_baseline"
tracer="$build/bench/libbench_trace.so"
proxy="$build/bench/bench_proxy"
for f in "$program" "$baseline" "$tracer" "$proxy"; do [ -e "$f" ] || { echo "missing $f (build first)" >&2; exit 1; }; done

mkdir -p "$work"
work=$(cd "$work" && pwd)
run="$work/run"
fecha=2008-12-01
corta=$(date -d "$fecha" +%-m/%-d/%y)
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
export LC_ALL=C.UTF-8
server_port=${FBSERVER_PORT:-3061}
proxy_port=$((server_port + 1))
remote="127.0.0.1/$proxy_port:"

bench_app_dir

proxy_pid=""
cleanup() {
  [ -n "$proxy_pid" ] && kill "$proxy_pid" 2> /dev/null || true
  FBSERVER_PORT=$server_port bash "$root/scripts/fbserver.sh" stop "$work/fbserver" > /dev/null 2>&1 || true
}
trap cleanup EXIT
FBSERVER_PORT=$server_port bash "$root/scripts/fbserver.sh" start "$work/fbserver" > /dev/null

# start_proxy RTT: a fresh proxy at that round-trip time.
start_proxy() {
  [ -n "$proxy_pid" ] && { kill "$proxy_pid" 2> /dev/null || true; wait "$proxy_pid" 2> /dev/null || true; }
  rm -f "$work/proxy.stats"
  "$proxy" --listen "$proxy_port" --target "127.0.0.1:$server_port" --rtt-ms "$1" --stats "$work/proxy.stats" \
    > "$work/proxy.out" 2> "$work/proxy.err" &
  proxy_pid=$!
  for ((i = 0; i < 100; i++)); do grep -q listening "$work/proxy.out" 2> /dev/null && return 0; sleep 0.05; done
  echo "the proxy did not start" >&2
  exit 1
}
# proxy_rt: round trips since the last reset (SIGHUP), after a stats write.
proxy_reset() { kill -HUP "$proxy_pid"; sleep 0.2; }
proxy_rt() {
  kill -USR1 "$proxy_pid"
  sleep 0.3
  awk '$1 == "round_trips" { print $2 }' "$work/proxy.stats"
}
# proxy_bytes: bytes sent each way since the last reset, as read by proxy_rt.
proxy_bytes() { awk '$1 == "c2s_bytes" { up = $2 } $1 == "s2c_bytes" { down = $2 } END { printf "%d up, %d down", up, down }' "$work/proxy.stats"; }

# run_program MODE FOLDER [WRAPPER...]: the program unattended in that mode.
run_program() {
  local mode=$1 folder=$2
  shift 2
  bench_app_dir "$(mode_rows "$mode")"
  printf '%s\r\n' "${folder}srv" > "$work/app/SERVIDORES.cfg"
  (cd "$run" && XDG_CONFIG_DIRS="$work/xdg" QT_QPA_PLATFORM=offscreen timeout 14400 \
    "$@" "$program" "${folder}srv" SYSDBA masterkey BENCH x x x x x S "$corta") > /dev/null 2>&1
  if compgen -G "$run/ERRORES.TXT" > /dev/null || compgen -G "$work/app/*ERRORENVPTOS*" > /dev/null; then
    echo "the program reported a failure:" >&2
    cat "$run"/ERRORES.TXT "$work"/app/*ERRORENVPTOS* 2> /dev/null >&2 || true
    exit 1
  fi
}
run_baseline() {
  local folder=$1
  shift
  "$@" "$baseline" "${folder}srv" SYSDBA masterkey BENCH "$fecha" > /dev/null
}
seconds() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@"
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); work folder: $work"
echo "Chunks: FilasPorLote=${chunk_rows:-(default)}"
summary="| size | RTT ms | rows | RT chunks | RT row by row | RT/row chunks | RT/row row by row | chunks s | row by row s | row by row/chunks |
|---|---|---|---|---|---|---|---|---|---|"

# kinds FILE: the round trips by kind of a run, as a table.
kinds() {
  echo "| kind | statements | round trips | per statement |"
  echo "|---|---|---|---|"
  sort "$1" | awk '{ printf "| %s | %d | %d | %s |\n", $1, $2, $3, ($2 > 0 ? sprintf("%.2f", $3 / $2) : "-") }'
}

for size in $sizes; do
  read -r B C S <<< "$(params "$size")"
  check="$work/check-$size"
  rm -rf "$check"
  mkdir -p "$check"
  # Two scenarios: branches named as files (embedded) and behind the proxy.
  for kind in local served; do
    tpl="$work/tpl-$size-$kind"
    prefix=""
    [ $kind = served ] && prefix=$remote
    if [ "$(cat "$tpl.params" 2> /dev/null)" != "$B $C $S $prefix$run" ]; then
      echo "== $size: generating B=$B C=$C S=$S ($kind)"
      rm -rf "$tpl"
      bash "$root/bench/make_scenario.sh" "$tpl" "$B" "$C" "$S" "" "$fecha" "$prefix$run" > /dev/null
      echo "$B $C $S $prefix$run" > "$tpl.params"
    fi
  done

  echo "== $size: checking (RTT 0)"
  start_proxy 0
  fresh "$work/tpl-$size-local"
  run_program chunks "$run/"
  # isql pads columns to the longest value: blanks are squeezed.
  bash "$root/bench/dump.sh" "$run" | sed "s|$run|RUN|g" | tr -s ' ' > "$check/embedded"
  declare -A total=()
  declare -A zero=()
  declare -A bytes=()
  for mode in rowbyrow chunks; do
    fresh "$work/tpl-$size-served"
    proxy_reset
    zero[$mode]=$(seconds run_program $mode "$remote$run/" env BENCH_TRACE="$check/stream.$mode" \
      BENCH_RT="$check/rt.$mode" LD_PRELOAD="$tracer")
    total[$mode]=$(proxy_rt)
    bytes[$mode]=$(proxy_bytes)
    bash "$root/bench/dump.sh" "$run" | sed "s|$remote||g; s|$run|RUN|g" | tr -s ' ' > "$check/$mode"
  done
  fresh "$work/tpl-$size-served"
  proxy_reset
  run_baseline "$remote$run/" env BENCH_TRACE="$check/stream.baseline" BENCH_RT="$check/rt.baseline" LD_PRELOAD="$tracer"
  total_baseline=$(proxy_rt)
  bash "$root/bench/dump.sh" "$run" | sed "s|$remote||g; s|$run|RUN|g" | tr -s ' ' > "$check/baseline"
  if cmp -s "$check/chunks" "$check/embedded" && cmp -s "$check/rowbyrow" "$check/embedded" &&
    cmp -s "$check/baseline" "$check/embedded"; then
    echo "databases: identical (served chunks, served row by row, served baseline, embedded chunks)"
  else
    echo "databases: DIFFERENT"
    for m in chunks rowbyrow baseline; do diff "$check/embedded" "$check/$m" | head -10 || true; done
  fi
  if cmp -s "$check/stream.rowbyrow" "$check/stream.baseline"; then
    echo "statement stream row by row: identical to the baseline's ($(grep -c '^execute' "$check/stream.rowbyrow") executions, $(grep -c '^info' "$check/stream.rowbyrow") information requests, $(grep -c '^commit' "$check/stream.rowbyrow") commits)"
  else
    echo "statement stream row by row: DIFFERENT from the baseline's"
    diff "$check/stream.rowbyrow" "$check/stream.baseline" | head -20 || true
  fi
  # Rows written: customers copied, accumulation calls, refilled rows.
  rows=$(awk '$1 == "apply-insert" || $1 == "procedure-call" || $1 == "refill-insert" { r += $2 } END { print r }' \
    "$check/rt.rowbyrow")
  for mode in rowbyrow chunks; do
    client=$(awk '{ r += $3 } END { print r }' "$check/rt.$mode")
    echo "$mode: round trips: proxy ${total[$mode]}, client side $client; $(awk -v r="${total[$mode]}" -v n="$rows" \
      'BEGIN { printf "%.3f", r / n }') per row written ($rows rows); bytes ${bytes[$mode]}"
    kinds "$check/rt.$mode"
  done
  echo "baseline: round trips: proxy $total_baseline"

  for rtt in $rtts; do
    start_proxy "$rtt"
    for ((r = 1; r <= reps; r++)); do
      fresh "$work/tpl-$size-served"
      tc=$(seconds run_program chunks "$remote$run/")
      if [[ " $estimate " == *" $rtt "* ]]; then
        tr=$(awk -v z="${zero[rowbyrow]}" -v n="${total[rowbyrow]}" -v l="$rtt" 'BEGIN { printf "~%.2f", z + n * l / 1000 }')
      else
        fresh "$work/tpl-$size-served"
        tr=$(seconds run_program rowbyrow "$remote$run/")
      fi
      line=$(awk -v sz="$size" -v l="$rtt" -v n="$rows" -v rc="${total[chunks]}" -v rr="${total[rowbyrow]}" \
        -v c="$tc" -v t="$tr" \
        'BEGIN { tt = t; sub("~", "", tt); printf "| %s | %s | %d | %d | %d | %.3f | %.3f | %.2f | %s | %s%.1f |", sz, l, n, rc, rr, rc / n, rr / n, c, t, (t ~ /~/ ? "~" : ""), tt / c }')
      echo "$line"
      summary+=$'\n'"$line"
    done
  done
done
rm -rf "$run"
echo
echo "Round trips counted at RTT 0 by the proxy; rows = rows written (customers copied, accumulation calls, refilled rows)."
echo "$summary"
