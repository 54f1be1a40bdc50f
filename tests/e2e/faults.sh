#!/usr/bin/env bash
# Faults of the network and of the server, with every database behind a
# private Firebird server reached through the project's delaying proxy, and a
# company large enough for its passes to last seconds:
#   (a) the server killed during the collection pass, (b) during the refill,
#       each time in the middle of a chunk (the run waits there on a row that
#       another attachment holds): each database is left consistent (the
#       committed chunks of accumulation calls stay; the branch keeps its old
#       table whole), the program, which nobody sees, ends by itself with 1
#       after the error's line, and a re-run gives every table of a clean run;
#   (c) a branch locked by another attachment: the run waits, then completes
#       once the lock is released;
#   (g) two runs of the company at once, or the second a little later (also
#       row by row): one completes, the other ends with 4 having changed
#       nothing, and the databases are those of one run; (h) a run killed
#       with SIGKILL holds no lock: the next run completes;
#   (d) SIGTERM during that lock wait, (e) a wrong password with an error
#       dialog open on a display, (f) while a branch's server accepts and
#       never answers: the program ends within seconds with 143, and nothing
#       is half-written; without a display, in cron's environment, the wrong
#       password ends the program within seconds with 1;
#   (i) EsperaConexion=5 with a branch that never answers: it does not open,
#       in seconds, and the run completes with 3; (j) EsperaBloqueo=3 with a
#       held row: the refill fails with the server's lock message, standard
#       error names the branch's database, the branch keeps its table;
#   (k) Reintentos=1 with the proxy dropped mid-run: the second attempt
#       completes, two history lines, the databases of a clean run;
#   every dialog's text also reaches standard error as it opens, and every
#   run leaves its line in TRANSMISIONES.TXT.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

PROXY=$(dirname "$(dirname "$E2E_BIN")")/bench/bench_proxy
[ -x "$PROXY" ] || { echo "FAIL: no bench_proxy next to the program ($PROXY)"; exit 1; }
PCA=PUNTOS_CLIENTE_ACUMULADO

e2e_server_start
proxy_port=$((E2E_FB_PORT + 200))
stall_port=$((E2E_FB_PORT + 201))
PROXY_PID=""
start_proxy() {  # start_proxy RTT-MS
  [ -n "$PROXY_PID" ] && e2e_stop "$PROXY_PID"
  "$PROXY" --listen "$proxy_port" --target "127.0.0.1:$E2E_FB_PORT" --rtt-ms "$1" > "$E2E_TMP/proxy.out" 2>&1 &
  PROXY_PID=$!
  E2E_PIDS+=("$PROXY_PID")
  for ((i = 0; i < 100; i++)); do grep -q listening "$E2E_TMP/proxy.out" && return 0; sleep 0.05; done
  echo "FAIL: the proxy did not start"
  exit 1
}
"$PROXY" --listen "$stall_port" --mode stall > "$E2E_TMP/stall.out" 2>&1 &
E2E_PIDS+=("$!")
SLOW="127.0.0.1/$proxy_port:"   # the program's way to the server
DIRECT="127.0.0.1/$E2E_FB_PORT:"  # the test's own

# The company: 2 branches, 300 customers in each points summary, so that the
# accumulation calls and the refill of each branch last seconds at 20 ms.
C="$E2E_TMP/c"
PRISTINE="$E2E_TMP/pristine"
bash "$E2E_SRC/bench/make_scenario.sh" "$PRISTINE" 2 20 300 "" 2008-12-01 "$SLOW$C" > "$E2E_TMP/scenario.log" 2>&1 ||
  { cat "$E2E_TMP/scenario.log"; echo "FAIL: make_scenario.sh"; exit 1; }
main_db() { echo "$C/srv/datos/BENCH/varnex.fdb"; }
branch_db() { printf '%s\n' "$C/s$1\\datos\\$1\\varnex.fdb"; }
restore() {
  rm -rf "$C"
  cp -a "$PRISTINE" "$C"
  mkdir -p "$C/app"
  e2e_settings "$C"
}
# dumps: every table of the three databases, read through the server.
dumps() {
  local db
  for db in main 001 002; do
    echo "## $db"
    if [ $db = main ]; then e2e_dump "$DIRECT$(main_db)"; else e2e_dump "$DIRECT$(branch_db $db)"; fi
  done
}
pca_of() { e2e_dump "$DIRECT$1" | grep "^$PCA|"; }
run_args() { echo "$SLOW$C/srv" SYSDBA masterkey BENCH x x x x x S 12/1/08; }

# seen DB PATTERN [active]: another attachment has a statement whose text is
# like PATTERN on DB (prepared, or with "active" running), as the server's
# monitoring tables show it.
seen() {
  local n state=""
  [ "${3:-}" = active ] && state="AND MON\$STATE = 1"
  n=$(e2e_isql "$DIRECT$1" "SET HEADING OFF;" \
    "SELECT COUNT(*) FROM MON\$STATEMENTS WHERE MON\$ATTACHMENT_ID <> CURRENT_CONNECTION $state AND MON\$SQL_TEXT LIKE '$2';" |
    tr -d ' \n')
  [ "${n:-0}" -gt 0 ]
}
# wait_seen DB PATTERN SECONDS [active]
wait_seen() {
  local limit=$(($3 * 5)) i
  for ((i = 0; i < limit; i++)); do
    seen "$1" "$2" "${4:-}" && return 0
    kill -0 "$E2E_PID" 2> /dev/null || return 1
    sleep 0.2
  done
  return 1
}
# term_ends SECONDS LABEL: SIGTERM to the program; it must end with 143 in time.
term_ends() {
  local t0 t1
  t0=$(date +%s%N)
  kill -TERM "$E2E_PID"
  if e2e_wait_exit "$E2E_PID" "$1"; then
    t1=$(date +%s%N)
    e2e_check "$2: exit status after SIGTERM" 143 "$E2E_RC"
    echo "   ended $(((t1 - t0) / 1000000)) ms after SIGTERM"
  else
    e2e_fail "$2: still running ${1}s after SIGTERM"
    e2e_stop "$E2E_PID"
  fi
}
kill_server() {
  kill -KILL "$(e2e_server_pid)"
  while kill -0 "$(e2e_server_pid)" 2> /dev/null; do sleep 0.05; done
}
restart_server() {
  FBSERVER_PORT=$E2E_FB_PORT bash "$E2E_SRC/scripts/fbserver.sh" start "$E2E_TMP/fbserver" > "$E2E_TMP/fbserver.log" 2>&1 ||
    { cat "$E2E_TMP/fbserver.log"; echo "FAIL: server restart"; exit 1; }
}
# ends_by_itself SECONDS STATUS LABEL: the program ends without being told to.
ends_by_itself() {
  if e2e_wait_exit "$E2E_PID" "$1"; then
    e2e_check "$3: exit status" "$2" "$E2E_RC"
  else
    e2e_fail "$3: still running after ${1}s"
    e2e_stop "$E2E_PID"
  fi
}
# last_result: the result column of the last line of the history of runs.
last_result() { e2e_history "$C/app/TRANSMISIONES.TXT" | tail -1 | cut -d, -f6; }
# wait_dialog SECONDS: the program wrote an error dialog's line to stderr.
wait_dialog() {
  local limit=$(($1 * 10)) i
  for ((i = 0; i < limit; i++)); do
    grep -q '^Error: ' "$C/program.log" 2> /dev/null && return 0
    sleep 0.1
  done
  return 1
}

e2e_step "a clean run (the reference)"
start_proxy 0
restore
e2e_run_unattended "$C" C.UTF-8 120 0 $(run_args) || exit 1
dumps > "$E2E_TMP/clean"
[ "$(grep -c "^$PCA|" "$E2E_TMP/clean")" -eq 900 ] || e2e_fail "the clean run did not fill 3 x 300 accumulated rows"

# rerun LABEL: a run to its end from what the fault left; every table of a clean run.
rerun() {
  : > "$C/program.log"
  rm -f "$C/ERRORES.TXT"
  start_proxy 0
  if e2e_run_unattended "$C" C.UTF-8 120 0 $(run_args); then
    dumps > "$E2E_TMP/after.$1"
    e2e_check_file "$1: a re-run gives every table of a clean run" "$E2E_TMP/clean" "$E2E_TMP/after.$1"
  fi
}

# The rows per chunk of this run, and the 270th customer of branch 001's
# points summary: its accumulation call and its refill row are in the middle
# of the second chunk of 256.
FILAS=${E2E_FILAS_POR_LOTE:-256}
KEY=$(e2e_isql "$DIRECT$(branch_db 001)" "SET HEADING OFF;" \
  "SELECT CLIENTE FROM RESUMEN_PUNTOS_TX('2008-12-01') ROWS 270 TO 270;" | tr -d ' \n')
[ -n "$KEY" ] || { echo "FAIL: no 270th customer in the points summary"; exit 1; }
# held_session NAME FD DB STATEMENT: an isql session on DB, fed through the
# fifo $E2E_TMP/NAME.in on descriptor FD, runs STATEMENT and keeps its
# transaction open; its process id in HELD_PID.
held_session() {
  local fifo="$E2E_TMP/$1.in"
  rm -f "$fifo"
  mkfifo "$fifo"
  (LC_ALL=C.UTF-8 "$ISQL" -q < "$fifo" > "$E2E_TMP/$1.out" 2>&1) &
  HELD_PID=$!
  E2E_PIDS+=("$HELD_PID")
  eval "exec $2> \"\$fifo\""
  printf '%s\n' "CONNECT '$DIRECT$3' USER 'SYSDBA' PASSWORD 'masterkey';" "SET AUTODDL OFF;" "$4" >&"$2"
}
# stall_at DB: another attachment inserts KEY into DB's accumulated table
# and keeps it uncommitted, so that the run's own insert of KEY waits.
stall_at() { held_session stall 8 "$1" "INSERT INTO $PCA (TERC_NIT) VALUES ('$KEY');"; }

for phase in collection refill; do
  if [ $phase = collection ]; then
    label="(a) server killed during the collection pass"
    db=$(main_db)
    pattern="%ACTUALIZA_PUNTOS_ACUMULADOS%"
  else
    label="(b) server killed during the refill"
    db=$(branch_db 001)
    pattern="%INSERT INTO puntos_cliente_acumulado%"
  fi
  e2e_step "$label"
  restore
  before=$(pca_of "$(branch_db 001)")
  start_proxy 20
  stall_at "$db"
  e2e_start "$C" C.UTF-8 $(run_args)
  if ! wait_seen "$db" "$pattern" 60 active; then
    e2e_fail "$label: never saw the phase"
    e2e_stop "$E2E_PID"
    exec 8>&-
    continue
  fi
  sleep 1
  seen "$db" "$pattern" active || e2e_fail "$label: the run did not wait on the held row"
  kill_server
  exec 8>&-
  if wait_dialog 30; then
    echo "   dialog on stderr: $(grep -m1 '^Error: ' "$C/program.log" | cut -c1-100)"
  else
    e2e_fail "$label: no dialog line on stderr"
  fi
  # Nobody sees the dialog: the program ends instead of waiting.
  ends_by_itself 15 1 "$label"
  e2e_check "$label: the history says why" "detenida por un error" "$(last_result)"
  restart_server
  e2e_check "$label: branch 001 keeps its old accumulated table whole" "$before" "$(pca_of "$(branch_db 001)")"
  if [ $phase = collection ]; then
    # The calls before the held one's chunk were committed, chunk by chunk.
    e2e_check "$label: the committed chunks of calls stay" $(((269 / FILAS) * FILAS)) \
      "$(pca_of "$(main_db)" | wc -l)"
  fi
  rerun "$phase"
done

# A session that holds every row of branch 001's accumulated table.
hold_lock() {
  held_session lock 7 "$(branch_db 001)" "UPDATE $PCA SET PTCA_ACUMULADO = PTCA_ACUMULADO;"
  LOCK_PID=$HELD_PID
}
release_lock() {
  printf '%s\n' "ROLLBACK;" "QUIT;" >&7
  exec 7>&-
  e2e_wait_exit "$LOCK_PID" 10 || e2e_stop "$LOCK_PID"
}

e2e_step "(c) a branch locked by another attachment: the run waits, then completes"
restore
start_proxy 0
hold_lock
e2e_start "$C" C.UTF-8 $(run_args)
if wait_seen "$(branch_db 001)" "DELETE FROM PUNTOS_CLIENTE_ACUMULADO%" 60 active; then
  sleep 2
  seen "$(branch_db 001)" "DELETE FROM PUNTOS_CLIENTE_ACUMULADO%" active || e2e_fail "(c) the refill did not wait"
  # ps and /proc show no password of a running program.
  e2e_check "(c) the argument memory without the password" "" \
    "$(tr '\0' ' ' < "/proc/$E2E_PID/cmdline" | grep -o masterkey)"
  e2e_check "(c) ps without the password" "" "$(ps -o args= -p "$E2E_PID" | grep -o masterkey)"
  release_lock
  if e2e_wait_exit "$E2E_PID" 120; then
    e2e_check "(c) the run completed" 0 "$E2E_RC"
    dumps > "$E2E_TMP/after.lock"
    e2e_check_file "(c) every table of a clean run" "$E2E_TMP/clean" "$E2E_TMP/after.lock"
  else
    e2e_fail "(c) the run did not end once the lock was released"
    e2e_stop "$E2E_PID"
  fi
else
  e2e_fail "(c) never saw the refill's DELETE wait"
  release_lock
  e2e_stop "$E2E_PID"
fi

e2e_step "(d) SIGTERM during the lock wait"
restore
before=$(pca_of "$(branch_db 001)")
hold_lock
e2e_start "$C" C.UTF-8 $(run_args)
if wait_seen "$(branch_db 001)" "DELETE FROM PUNTOS_CLIENTE_ACUMULADO%" 60 active; then
  term_ends 10 "(d)"
  e2e_check "(d) the history says why" "detenida por una se"$'\xc3\xb1'"al" "$(last_result)"
  e2e_check "(d) standard error says where" 1 \
    "$(grep -c "^consopuntos: detenida por la se.*al 15 (SIGTERM) en Enviando consolidado, sucursal .*s001.datos.001 (.*), paso: Actualizando ACUMULADO" "$C/program.log")"
else
  e2e_fail "(d) never saw the refill's DELETE wait"
  e2e_stop "$E2E_PID"
fi
release_lock
e2e_check "(d) branch 001 keeps its old accumulated table whole" "$before" "$(pca_of "$(branch_db 001)")"
[ -e "$C/ERRORES.TXT" ] && e2e_fail "(d) the stop was reported as an error: $(cat -v "$C/ERRORES.TXT")"
rerun "stop in a lock wait"

e2e_step "(e) a wrong password in cron's environment: the dialog's line, status 1 within seconds"
restore
e2e_start_cron "$C" XDG_CONFIG_DIRS="$C/xdg" -- "$SLOW$C/srv" SYSDBA wrong BENCH x x x x x S 12/1/08
ends_by_itself 15 1 "(e)"
e2e_check "(e) standard error: the dialog's line alone, with the server's words" "1 1" \
  "$(grep -c '^Error: El nombre de Usuario o la clave son incorrectas. (el servidor dijo: .*Your user name and password are not defined.*)$' "$C/cron.err") $(wc -l < "$C/cron.err")"
e2e_check "(e) the history: the start stopped before its run, no transmission date" \
  ",detenida por un error,0,0,0,0,0,0,0," "$(e2e_history "$C/app/TRANSMISIONES.TXT" | cut -d, -f5,6,8-)"

e2e_step "(e) the same on a display: the dialog waits, SIGTERM ends it with 143"
restore
e2e_xvfb
e2e_start "$C" C.UTF-8 "$SLOW$C/srv" SYSDBA wrong BENCH x x x x x S 12/1/08
if wait_dialog 30 && e2e_window "^Error$" 20 > /dev/null; then
  sleep 2
  if kill -0 "$E2E_PID" 2> /dev/null; then
    term_ends 10 "(e) display"
  else
    e2e_fail "(e) display: the program did not wait at its dialog"
  fi
  e2e_check "(e) display: one history line, the start's" "detenida por un error" \
    "$(e2e_history "$C/app/TRANSMISIONES.TXT" | cut -d, -f6 | tr '\n' ' ' | sed 's/ $//')"
else
  e2e_fail "(e) display: no error dialog"
  e2e_stop "$E2E_PID"
fi

e2e_step "(l) the window covered and uncovered in the middle of a run shows what it last painted"
restore
E2E_FILAS_POR_LOTE=1 e2e_settings "$C"  # row by row: many short calls
start_proxy 20
e2e_start "$C" C.UTF-8 $(run_args)
if wait_seen "$(main_db)" "%ACTUALIZA_PUNTOS_ACUMULADOS%" 60 && win=$(e2e_window "^Consolidaci" 10); then
  import -window "$win" "$E2E_TMP/shown.png"
  xdotool windowunmap --sync "$win"
  sleep 0.5
  xdotool windowmap --sync "$win"
  sleep 1
  import -window "$win" "$E2E_TMP/uncovered.png"
  kill -0 "$E2E_PID" 2> /dev/null || e2e_fail "(l) the run ended before the window was uncovered"
  e2e_check "(l) pixels that differ once uncovered" 0 \
    "$(compare -metric AE "$E2E_TMP/shown.png" "$E2E_TMP/uncovered.png" null: 2>&1)"
  term_ends 10 "(l)"
else
  e2e_fail "(l) no run with a window to cover"
  e2e_stop "$E2E_PID"
fi
start_proxy 0
unset DISPLAY  # the rest without a display

e2e_step "(f) SIGTERM while a branch's server accepts and never answers"
restore
e2e_exec "$DIRECT$(main_db)" \
  "UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = '127.0.0.1/$stall_port:$C/s002' WHERE RPCO_COD = '002';"
e2e_start "$C" C.UTF-8 $(run_args)
# Branch 001's points reach the main database; then the attach of branch 002
# waits for an answer that never comes.
for ((i = 0; i < 300; i++)); do
  [ "$(e2e_isql "$DIRECT$(main_db)" "SET HEADING OFF;" "SELECT COUNT(*) FROM $PCA;" | tr -d ' \n')" = 300 ] && break
  sleep 0.2
done
sleep 3
if kill -0 "$E2E_PID" 2> /dev/null; then
  term_ends 15 "(f)"
  # Stuck in the attach, the program still leaves its lines.
  e2e_check "(f) the history says why" "detenida por una se"$'\xc3\xb1'"al" "$(last_result)"
  e2e_check "(f) standard error names the branch being connected" 1 \
    "$(grep -c "^consopuntos: detenida por la se.*al 15 (SIGTERM) en Trayendo puntos, sucursal .*s002.datos.002 (.*), paso: Conectando a " "$C/program.log")"
else
  e2e_fail "(f) the program ended before the stalled branch"
fi

e2e_step "(f) SIGTERM in the middle of the collection, ten times in a row"
start_proxy 20
lines=0 results=0
for ((n = 0; n < 10; n++)); do
  restore
  e2e_start "$C" C.UTF-8 $(run_args)
  if wait_seen "$(main_db)" "%ACTUALIZA_PUNTOS_ACUMULADOS%" 60; then
    term_ends 10 "(f) $n"
  else
    e2e_fail "(f) $n: never saw the collection"
    e2e_stop "$E2E_PID"
  fi
  lines=$((lines + $(grep -c "^consopuntos: detenida por la se.*al 15 (SIGTERM) en Trayendo puntos, sucursal " "$C/program.log")))
  [ "$(last_result)" = "detenida por una se"$'\xc3\xb1'"al" ] && results=$((results + 1))
done
e2e_check "(f) ten stops: ten lines on standard error, ten history lines" "10 10" "$lines $results"

e2e_step "(i) EsperaConexion=5: a branch that accepts and never answers does not open within seconds"
restore
echo "EsperaConexion=5" >> "$C/xdg/Quenda/Varnex2009.conf"
e2e_exec "$DIRECT$(main_db)" \
  "UPDATE REPLICA_COMPANIA SET RPCO_SERVIDOR = '127.0.0.1/$stall_port:$C/s002' WHERE RPCO_COD = '002';"
t0=$(date +%s)
if e2e_run_unattended "$C" C.UTF-8 90 3 $(run_args); then
  echo "   the run ended after $(($(date +%s) - t0)) s"
  e2e_check "(i) branch 002 did not open in either walk" "Trayendo puntos Enviando consolidado" \
    "$(tr -d '\r' < "$C/app/ERRORENVPTOS.TXT" | cut -d, -f4 | tr '\n' ' ' | sed 's/ $//')"
fi

e2e_step "(j) EsperaBloqueo=3: a refill that waits on a held row fails, and standard error names the branch"
restore
echo "EsperaBloqueo=3" >> "$C/xdg/Quenda/Varnex2009.conf"
before=$(pca_of "$(branch_db 001)")
hold_lock
t0=$(date +%s)
if e2e_run_unattended "$C" C.UTF-8 60 1 $(run_args); then
  echo "   the run ended after $(($(date +%s) - t0)) s"
  e2e_check "(j) the line naming the database" 1 \
    "$(grep -c "^consopuntos: un bloqueo de otra transacci.*n detuvo el trabajo en la base de datos $SLOW$C/s001.datos.001.varnex.fdb$" "$C/program.log")"
  e2e_check "(j) the server's lock message through the reporter" 1 \
    "$(grep -c '^Error: .*update conflicts with concurrent update' "$C/program.log")"
fi
release_lock
e2e_check "(j) branch 001 keeps its old accumulated table whole" "$before" "$(pca_of "$(branch_db 001)")"

e2e_step "(k) Reintentos=1: the connection dropped mid-run, the second attempt completes"
restore
printf '%s\n' "Reintentos=1" "EsperaReintento=2" >> "$C/xdg/Quenda/Varnex2009.conf"
start_proxy 20
e2e_start "$C" C.UTF-8 $(run_args)
if wait_seen "$(main_db)" "%ACTUALIZA_PUNTOS_ACUMULADOS%" 60; then
  start_proxy 0  # the old proxy goes, and every connection through it
  ends_by_itself 120 0 "(k)"
  e2e_check "(k) two history lines, the lost attempt's and the second's" "detenida por un error|completa" \
    "$(e2e_history "$C/app/TRANSMISIONES.TXT" | cut -d, -f6 | tr '\n' '|' | sed 's/|$//')"
  e2e_check "(k) standard error names the database lost" 1 \
    "$(grep -c "^consopuntos: se perdi.* la conexi.*n con la base de datos $SLOW" "$C/program.log")"
  e2e_check "(k) and says the run starts again" 1 "$(grep -c "^consopuntos: intento 1 detenido por una conexi.*n perdida" "$C/program.log")"
  dumps > "$E2E_TMP/after.retry"
  e2e_check_file "(k) every table of a clean run" "$E2E_TMP/clean" "$E2E_TMP/after.retry"
else
  e2e_fail "(k) never saw the collection"
  e2e_stop "$E2E_PID"
fi

# overlap DELAY LABEL: a second run DELAY seconds after the first.
overlap() {
  local first second rc1 rc2 t0
  : > "$C/program.log"
  e2e_start "$C" C.UTF-8 $(run_args)
  first=$E2E_PID
  sleep "$1"
  t0=$(date +%s%N)
  e2e_start "$C" C.UTF-8 $(run_args)
  second=$E2E_PID
  e2e_wait_exit "$second" 60 && rc2=$E2E_RC && echo "   second run ended after $((($(date +%s%N) - t0) / 1000000)) ms"
  e2e_wait_exit "$first" 120 && rc1=$E2E_RC
  e2e_check "$2: one run completes, the other is refused" "0 4" "$(printf '%s\n' "${rc1:-?}" "${rc2:-?}" | sort | tr '\n' ' ' | sed 's/ $//')"
  e2e_check "$2: the refusal's line" 1 "$(grep -c "^Error: .* ya tiene una transmisi" "$C/program.log")"
  e2e_check "$2: the history" "completa|rechazada: otra transmisi"$'\xc3\xb3'"n en curso" \
    "$(e2e_history "$C/app/TRANSMISIONES.TXT" | cut -d, -f6 | sort | tr '\n' '|' | sed 's/|$//')"
  dumps > "$E2E_TMP/after.overlap"
  e2e_check_file "$2: the databases of one run" "$E2E_TMP/clean" "$E2E_TMP/after.overlap"
}
start_proxy 10
for delay in 0 0.3; do
  e2e_step "(g) two runs of the company, the second ${delay}s after the first"
  restore
  overlap "$delay" "(g) $delay s"
done
e2e_step "(g) the same row by row"
start_proxy 0
restore
E2E_FILAS_POR_LOTE=1 e2e_settings "$C"
overlap 0.3 "(g) row by row"

e2e_step "(h) a run killed with SIGKILL: the next run is not refused"
restore
start_proxy 20
e2e_start "$C" C.UTF-8 $(run_args)
if wait_seen "$(main_db)" "%ACTUALIZA_PUNTOS_ACUMULADOS%" 60; then
  kill -KILL "$E2E_PID"
  wait "$E2E_PID" 2> /dev/null
  rerun "(h)"
else
  e2e_fail "(h) never saw the collection"
  e2e_stop "$E2E_PID"
fi

e2e_finish
