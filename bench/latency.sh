#!/usr/bin/env bash
# The transmission across a network: every database behind the private
# Firebird server (scripts/fbserver.sh), reached through the project's
# delaying, counting proxy (bench_proxy) at a chosen round-trip time. For each
# size: checks once that the program and the baseline leave the databases the
# embedded run leaves and send the same statement stream (information
# requests included), counts the round trips per statement by statement kind
# (client side, bench_trace) and in all (the proxy), then times program and
# baseline next to each other at every RTT and prints them against the floor
# of one round trip per statement. Reports only; asserts no time.
#
#   bash bench/latency.sh [-s "small medium"] [-l "0 1 5"] [-r REPS] [-d WORKDIR] [-b BUILDDIR] [--no-build]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

sizes="small medium"
rtts="0 1 5"
reps=1
work=/dev/shm/consopuntos-latency
[ -d /dev/shm ] || work=${TMPDIR:-/tmp}/consopuntos-latency
build="$root/build-bench"
do_build=1
usage() {
  sed -n '2,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}
while [ $# -gt 0 ]; do
  case $1 in
    -s) sizes=$2; shift 2 ;;
    -l) rtts=$2; shift 2 ;;
    -r) reps=$2; shift 2 ;;
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

run_program() {
  printf '%s\r\n' "$1srv" > "$work/app/SERVIDORES.cfg"
  local folder=$1
  shift
  (cd "$run" && XDG_CONFIG_DIRS="$work/xdg" QT_QPA_PLATFORM=offscreen timeout 7200 \
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
summary="| size | RTT ms | statements | round trips | RT/statement | program s | baseline s | floor s | program/floor | baseline/floor | program/baseline |
|---|---|---|---|---|---|---|---|---|---|---|"

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
  run_program "$run/"
  # isql pads columns to the longest value: blanks are squeezed.
  bash "$root/bench/dump.sh" "$run" | sed "s|$run|RUN|g" | tr -s ' ' > "$check/embedded"
  fresh "$work/tpl-$size-served"
  proxy_reset
  run_program "$remote$run/" env BENCH_TRACE="$check/stream.program" BENCH_RT="$check/rt.program" LD_PRELOAD="$tracer"
  total_program=$(proxy_rt)
  bash "$root/bench/dump.sh" "$run" | sed "s|$remote||g; s|$run|RUN|g" | tr -s ' ' > "$check/program"
  fresh "$work/tpl-$size-served"
  proxy_reset
  run_baseline "$remote$run/" env BENCH_TRACE="$check/stream.baseline" BENCH_RT="$check/rt.baseline" LD_PRELOAD="$tracer"
  total_baseline=$(proxy_rt)
  bash "$root/bench/dump.sh" "$run" | sed "s|$remote||g; s|$run|RUN|g" | tr -s ' ' > "$check/baseline"
  if cmp -s "$check/program" "$check/embedded" && cmp -s "$check/baseline" "$check/embedded"; then
    echo "databases: identical (served program, served baseline, embedded program)"
  else
    echo "databases: DIFFERENT"
    diff "$check/embedded" "$check/program" | head -20 || true
  fi
  if cmp -s "$check/stream.program" "$check/stream.baseline"; then
    echo "statement stream: identical ($(grep -c '^execute' "$check/stream.program") executions, $(grep -c '^info' "$check/stream.program") information requests, $(grep -c '^commit' "$check/stream.program") commits)"
  else
    echo "statement stream: DIFFERENT"
    diff "$check/stream.program" "$check/stream.baseline" | head -20 || true
  fi
  statements=$(awk '{ s += $2 } END { print s }' "$check/rt.program")
  client=$(awk '{ r += $3 } END { print r }' "$check/rt.program")
  echo "round trips: proxy $total_program (program), $total_baseline (baseline); client side $client (program)"
  echo "| kind | statements | round trips | per statement |"
  echo "|---|---|---|---|"
  sort "$check/rt.program" | awk '{ printf "| %s | %d | %d | %s |\n", $1, $2, $3, ($2 > 0 ? sprintf("%.2f", $3 / $2) : "-") }'
  awk -v s="$statements" -v r="$total_program" 'BEGIN { printf "| all | %d | %d | %.2f |\n", s, r, r / s }'

  for rtt in $rtts; do
    start_proxy "$rtt"
    for ((r = 1; r <= reps; r++)); do
      fresh "$work/tpl-$size-served"
      tp=$(seconds run_program "$remote$run/")
      fresh "$work/tpl-$size-served"
      tb=$(seconds run_baseline "$remote$run/")
      line=$(awk -v sz="$size" -v l="$rtt" -v n="$statements" -v rt="$total_program" -v p="$tp" -v b="$tb" \
        'BEGIN { f = n * l / 1000; printf "| %s | %s | %d | %d | %.2f | %.2f | %.2f | %.2f | %s | %s | %.3f |", sz, l, n, rt, rt / n, p, b, f, (f > 0 ? sprintf("%.2f", p / f) : "-"), (f > 0 ? sprintf("%.2f", b / f) : "-"), p / b }')
      echo "$line"
      summary+=$'\n'"$line"
    done
  done
done
rm -rf "$run"
echo
echo "floor = statements x RTT (one round trip per statement); round trips counted at RTT 0 by the proxy."
echo "$summary"
