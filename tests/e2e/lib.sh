# shellcheck shell=bash
# Shared helpers of the end-to-end scripts. Sourced, never run on its own:
#   source "$(dirname "$0")/lib.sh" "$@"     # arguments: consopuntos binary, source dir
# Every script runs the real program against fresh embedded Firebird databases
# in a scratch directory that is removed at the end (kept with E2E_KEEP=1).

set -uo pipefail
# Database text is Latin-1 bytes: tools compare bytes, never characters.
export LC_ALL=C

E2E_BIN=${1:?usage: script CONSOPUNTOS-BINARY SOURCE-DIR}
E2E_SRC=${2:?usage: script CONSOPUNTOS-BINARY SOURCE-DIR}
E2E_BIN=$(cd "$(dirname "$E2E_BIN")" && pwd)/$(basename "$E2E_BIN")
E2E_SRC=$(cd "$E2E_SRC" && pwd)
[ -x "$E2E_BIN" ] || { echo "FAIL: no program at $E2E_BIN" >&2; exit 1; }

ISQL=${CONSOPUNTOS_ISQL:-isql-fb}
E2E_NAME=$(basename "$0" .sh)
# Short on purpose: a branch server folder must fit RPCO_SERVIDOR (60 characters).
E2E_TMP=$(mktemp -d "/tmp/e2e-XXXXXX")
E2E_FAILURES=0
E2E_PIDS=()

e2e_cleanup() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do e2e_stop "$pid"; done
  [ -n "${E2E_FB_PORT:-}" ] && e2e_server_stop
  # On a failure, what the program said before its scratch directory goes.
  if [ "$E2E_FAILURES" -gt 0 ]; then
    find "$E2E_TMP" \( -name program.log -o -name xvfb.log \) -size +0 -print0 2> /dev/null | while IFS= read -r -d '' log; do
      echo "-- ${log#"$E2E_TMP"/} (last lines):"
      tail -20 "$log" | cat -v | sed 's/^/   | /'
    done
  fi
  if [ "${E2E_KEEP:-0}" = 1 ]; then
    echo "kept: $E2E_TMP"
  else
    rm -rf "$E2E_TMP"
  fi
}
trap e2e_cleanup EXIT
trap 'exit 130' INT TERM

e2e_step() { echo "== $E2E_NAME: $*"; }

e2e_fail() {
  echo "FAIL: $*"
  E2E_FAILURES=$((E2E_FAILURES + 1))
  # What the last program started said, while it is still there.
  if [ -n "${E2E_LOG:-}" ] && [ -s "$E2E_LOG" ]; then
    echo "   the program's output (${E2E_LOG#"$E2E_TMP"/}, last lines):"
    tail -8 "$E2E_LOG" | cut -c1-240 | cat -v | sed 's/^/   | /'
  fi
}

# e2e_check LABEL EXPECTED ACTUAL
e2e_check() {
  if [ "$2" != "$3" ]; then
    e2e_fail "$1"
    echo "   expected: $(printf '%q' "$2")"
    echo "   actual:   $(printf '%q' "$3")"
  fi
}

# e2e_check_file LABEL EXPECTED-FILE ACTUAL-FILE: a diff on failure.
e2e_check_file() {
  if ! cmp -s "$2" "$3"; then
    e2e_fail "$1"
    diff -u --label expected --label actual "$2" "$3" | sed 's/^/   /' | cat -v | head -60
  fi
}

e2e_finish() {
  if [ "$E2E_FAILURES" -gt 0 ]; then
    echo "$E2E_NAME: $E2E_FAILURES check(s) failed"
    exit 1
  fi
  echo "$E2E_NAME: all checks passed"
  exit 0
}

# ---- Companies ------------------------------------------------------------------

# e2e_latin1 TEXT: a UTF-8 text (a file name as this platform writes it) in
# ISO-8859-1, as the program's files, arguments and databases hold text.
e2e_latin1() { printf '%s' "$1" | iconv -f UTF-8 -t ISO-8859-1; }

# Database files of a company built by e2e_company under DIR.
e2e_main_db() { echo "$1/srv/datos/DEMO/varnex.fdb"; }
e2e_branch_db() { printf '%s\n' "$1/suc$2\\datos\\$2\\varnex.fdb"; }

# e2e_settings DIR: DIR/xdg/Quenda/Varnex2009.conf naming DIR/app, with
# FilasPorLote=$E2E_FILAS_POR_LOTE when that is set (1: one statement per row).
e2e_settings() {
  mkdir -p "$1/xdg/Quenda"
  {
    printf 'Directorio=%s\n' "$1/app"
    if [ -n "${E2E_FILAS_POR_LOTE:-}" ]; then printf 'FilasPorLote=%s\n' "$E2E_FILAS_POR_LOTE"; fi
  } > "$1/xdg/Quenda/Varnex2009.conf"
}

# e2e_company DIR YYYY-MM-DD [PREFIX]: the demo company for that transmission date
# (PREFIX before every branch's RPCO_SERVIDOR, see make_demo.sh), plus
# the application directory DIR/app (SERVIDORES.cfg lists DIR/srv) and its
# setting DIR/xdg/Quenda/Varnex2009.conf. A copy of the fresh databases is kept
# for e2e_restore.
e2e_company() {
  local dir=$1
  bash "$E2E_SRC/scripts/make_demo.sh" "$dir" "$2" ${3:+"$3"} > "$dir.make_demo.log" 2>&1 ||
    { cat "$dir.make_demo.log"; echo "FAIL: make_demo.sh $dir $2"; exit 1; }
  mkdir -p "$dir/xdg/Quenda" "$dir/app" "$dir.pristine"
  # The setting file is UTF-8 text; SERVIDORES.cfg is ISO-8859-1.
  e2e_settings "$dir"
  printf '%s\r\n' "$(e2e_latin1 "$dir/srv")" > "$dir/app/SERVIDORES.cfg"
  cp "$(e2e_main_db "$dir")" "$dir.pristine/main.fdb"
  local code
  for code in 001 002 003; do cp "$(e2e_branch_db "$dir" $code)" "$dir.pristine/$code.fdb"; done
}

# e2e_restore DIR: the databases as e2e_company made them, and no logs.
e2e_restore() {
  local dir=$1 code
  cp "$dir.pristine/main.fdb" "$(e2e_main_db "$dir")"
  for code in 001 002 003; do cp "$dir.pristine/$code.fdb" "$(e2e_branch_db "$dir" $code)"; done
  rm -f "$dir/ERRORES.TXT" "$dir/app/ERRORENVPTOS.TXT" "$dir/app/TRANSMISIONES.TXT"
}

# ---- A private Firebird server ------------------------------------------------------

# e2e_server_start: a private server of this script (scripts/fbserver.sh under
# $E2E_TMP/fbserver) on a free port from 3070 on. Sets E2E_FB_PORT and
# E2E_REMOTE, the attachment prefix "127.0.0.1/PORT:". Stopped at exit.
e2e_server_start() {
  local port
  for ((port = 3070; port < 3170; port++)); do
    (exec 3<> "/dev/tcp/127.0.0.1/$port") 2> /dev/null && continue
    if FBSERVER_PORT=$port bash "$E2E_SRC/scripts/fbserver.sh" start "$E2E_TMP/fbserver" > "$E2E_TMP/fbserver.log" 2>&1; then
      E2E_FB_PORT=$port
      E2E_REMOTE="127.0.0.1/$port:"
      return 0
    fi
  done
  cat "$E2E_TMP/fbserver.log"
  echo "FAIL: no private Firebird server"
  exit 1
}

e2e_server_stop() {
  FBSERVER_PORT=$E2E_FB_PORT bash "$E2E_SRC/scripts/fbserver.sh" stop "$E2E_TMP/fbserver" > /dev/null 2>&1 || true
}

# e2e_server_pid: the server's process.
e2e_server_pid() { cat "$E2E_TMP/fbserver/firebird.pid"; }

# e2e_check_demo_run DIR LABEL BRANCH: what an unattended run of the demo company
# for 2008-12-01 leaves: the main accumulated table holds the five customers of
# the date, and branch BRANCH received that table.
e2e_check_demo_run() {
  local dir=$1 label=$2 branch=$3
  e2e_dump "$(e2e_main_db "$dir")" > "$dir/main.after"
  e2e_check "$label: the main accumulated table holds the five customers of the date" 5 \
    "$(e2e_rows "$dir/main.after" PUNTOS_CLIENTE_ACUMULADO | grep -c '|2008-12-01|')"
  e2e_dump "$(e2e_branch_db "$dir" "$branch")" > "$dir/$branch.after"
  e2e_check "$label: branch $branch received the main accumulated table" \
    "$(e2e_rows "$dir/main.after" PUNTOS_CLIENTE_ACUMULADO)" \
    "$(e2e_rows "$dir/$branch.after" PUNTOS_CLIENTE_ACUMULADO)"
}

# ---- isql-fb ----------------------------------------------------------------------

# e2e_isql DB SQL...: runs the statements (Latin-1 bytes allowed) on DB through a
# script file (isql-fb drops bytes above 127 from standard input). Output raw.
e2e_isql() {
  local db=$1 script
  shift
  script=$(mktemp "$E2E_TMP/sql-XXXXXX")
  {
    echo "SET NAMES ISO8859_1;"
    echo "CONNECT '${db//\'/\'\'}' USER 'SYSDBA' PASSWORD 'masterkey';"
    printf '%s\n' "$@"
    echo "COMMIT;"
  } > "$script"
  # A UTF-8 character type: the client library takes file names in it.
  LC_ALL=C.UTF-8 "$ISQL" -q -b -i "$script" 2>&1
  local rc=$?
  rm -f "$script"
  return $rc
}

# e2e_exec DB SQL...: like e2e_isql, but a failure stops the script.
e2e_exec() {
  local out
  out=$(e2e_isql "$@") || { echo "$out"; echo "FAIL: isql-fb on $1"; exit 1; }
}

# e2e_dump DB: every row of every user table, one line each, sorted bytewise:
#   TABLE|value|value|...   (columns in table order, NULL as <null>, Latin-1 bytes)
# Numbers and dates appear in the database's own text form (0.123456, 2008-12-01).
e2e_dump() {
  local out
  out=$(e2e_isql "$1" "SET HEADING OFF;" "SET TERM ^ ;" "
EXECUTE BLOCK RETURNS (LINE VARCHAR(4000)) AS
  DECLARE REL VARCHAR(63);
  DECLARE COL VARCHAR(63);
  DECLARE EXPR VARCHAR(8000);
BEGIN
  FOR SELECT TRIM(RDB\$RELATION_NAME) FROM RDB\$RELATIONS
       WHERE COALESCE(RDB\$SYSTEM_FLAG, 0) = 0 AND RDB\$VIEW_BLR IS NULL
       ORDER BY 1 INTO :REL DO
  BEGIN
    EXPR = '''' || REL || '''';
    FOR SELECT TRIM(RDB\$FIELD_NAME) FROM RDB\$RELATION_FIELDS
         WHERE RDB\$RELATION_NAME = :REL ORDER BY RDB\$FIELD_POSITION INTO :COL DO
      EXPR = EXPR || ' || ''|'' || COALESCE(CAST(\"' || COL || '\" AS VARCHAR(300)), ''<null>'')';
    FOR EXECUTE STATEMENT 'SELECT ' || EXPR || ' FROM \"' || REL || '\"' INTO :LINE DO SUSPEND;
  END
END^" "SET TERM ; ^") || { echo "$out"; echo "FAIL: dump of $1"; exit 1; }
  printf '%s\n' "$out" | sed -e 's/[[:space:]]*$//' -e '/^$/d' | LC_ALL=C sort
}

# e2e_rows DUMP-FILE TABLE [KEY...]: the table's lines of a dump, all of them or
# those of the keys, in that order.
e2e_rows() {
  local file=$1 table=$2
  shift 2
  if [ $# -eq 0 ]; then
    P="$table|" LC_ALL=C awk 'index($0, ENVIRON["P"]) == 1' "$file"
    return
  fi
  local key
  for key in "$@"; do P="$table|$key|" LC_ALL=C awk 'index($0, ENVIRON["P"]) == 1' "$file"; done
}

# ---- The program --------------------------------------------------------------------

# e2e_start DIR LOCALE [ARGS...]: starts consopuntos in DIR (the working directory,
# where ERRORES.TXT lands) with DIR's application directory; without DISPLAY it
# runs offscreen. Sets E2E_PID; stdout and stderr go to DIR/program.log.
e2e_start() {
  local dir=$1 locale=$2
  shift 2
  mkdir -p "$E2E_TMP/runtime" && chmod 700 "$E2E_TMP/runtime"
  (
    cd "$dir" || exit 1
    export XDG_CONFIG_DIRS="$dir/xdg" XDG_RUNTIME_DIR="$E2E_TMP/runtime" LC_ALL=$locale
    if [ -z "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; else unset QT_QPA_PLATFORM; fi
    exec "$E2E_BIN" "$@"
  ) >> "$dir/program.log" 2>&1 &
  E2E_PID=$!
  E2E_LOG="$dir/program.log"
  E2E_PIDS+=("$E2E_PID")
}

# e2e_start_cron DIR [NAME=VALUE...] -- [ARGS...]: starts consopuntos in DIR in
# cron's plain environment (env -i PATH=/usr/bin:/bin: no locale, no display,
# no QT_QPA_PLATFORM, no XDG_RUNTIME_DIR) plus the assignments given, e.g.
# XDG_CONFIG_DIRS for DIR's application directory (tests write nothing into
# /etc). Sets E2E_PID; stdout goes to DIR/cron.out, stderr to DIR/cron.err.
e2e_start_cron() {
  local dir=$1
  shift
  local vars=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    vars+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  (
    cd "$dir" || exit 1
    exec env -i PATH=/usr/bin:/bin "${vars[@]}" "$E2E_BIN" "$@"
  ) > "$dir/cron.out" 2> "$dir/cron.err" &
  E2E_PID=$!
  E2E_LOG="$dir/cron.err"
  E2E_PIDS+=("$E2E_PID")
}

# e2e_wait_exit PID SECONDS: waits for the process to end. Returns 0 and sets
# E2E_RC to its exit status if it did, 1 if it is still running.
e2e_wait_exit() {
  local pid=$1 limit=$(($2 * 10)) i
  for ((i = 0; ; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      E2E_RC=$?
      return 0
    fi
    [ "$i" -lt "$limit" ] || return 1
    sleep 0.1
  done
}

# e2e_stop PID: ends a program that is still running (an open dialog): SIGTERM,
# then SIGKILL for a process that TERM has not ended within 2 seconds.
e2e_stop() {
  kill "$1" 2>/dev/null || return 0
  e2e_wait_exit "$1" 2 && return 0
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

# e2e_wait_file FILE SECONDS: waits until FILE exists.
e2e_wait_file() {
  local limit=$(($2 * 10)) i
  for ((i = 0; i < limit; i++)); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# e2e_run_unattended DIR LOCALE SECONDS STATUS ARGS...: runs the program to its
# end. Fails the check (and stops it) when it does not end by itself in time or
# ends with another status than STATUS (0: the run completed; 3: it completed,
# but a branch did not open, as branch 004 of the demo company never does).
e2e_run_unattended() {
  local dir=$1 locale=$2 seconds=$3 status=$4
  shift 4
  e2e_start "$dir" "$locale" "$@"
  if ! e2e_wait_exit "$E2E_PID" "$seconds"; then
    e2e_stop "$E2E_PID"
    e2e_fail "the program did not end by itself within ${seconds}s"
    sed 's/^/   | /' "$dir/program.log" | tail -20
    return 1
  fi
  if [ "$E2E_RC" -ne "$status" ]; then
    e2e_fail "the program ended with status $E2E_RC, not $status"
    sed 's/^/   | /' "$dir/program.log" | tail -20
    return 1
  fi
  return 0
}

# e2e_history FILE: the records of a TRANSMISIONES.TXT without their CR LF
# and without the header.
e2e_history() {
  [ -f "$1" ] || return 0
  tr -d '\r' < "$1" | sed '1{/^inicio,fin,/d}'
}

# e2e_history_csv FILE FIELD...: the fields named (header names) of every
# record, read by Python's csv module, joined with "|", one record per line.
e2e_history_csv() {
  local file=$1
  shift
  python3 - "$file" "$@" << 'EOF'
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))
for row in rows:
    print("|".join(row[name] for name in sys.argv[2:]))
EOF
}

# e2e_log_entries FILE: entries of ERRORES.TXT (an entry starts with a date text;
# a message with line breaks continues on the following lines). Empty if absent.
e2e_log_entries() {
  [ -f "$1" ] || return 0
  tr -d '\r' < "$1" | grep -E '^[0-9]{1,2}/[0-9]{1,2}/[0-9]{2,4},' || true
}

# ---- X server (interactive tests) ---------------------------------------------------------

# e2e_xvfb: starts Xvfb on a free display and exports DISPLAY. Display numbers
# start high and at random, away from the ones that people and other tools pick.
e2e_xvfb() {
  command -v Xvfb > /dev/null || { echo "FAIL: Xvfb is not installed"; exit 1; }
  local n tries i pid
  n=$((140 + RANDOM % 300))
  for ((tries = 0; tries < 20; tries++, n++)); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp > "$E2E_TMP/xvfb.log" 2>&1 &
    pid=$!
    E2E_PIDS+=("$pid")
    for ((i = 0; i < 100; i++)); do
      kill -0 "$pid" 2> /dev/null || break
      if DISPLAY=":$n" xdotool getmouselocation > /dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      sleep 0.1
    done
    e2e_stop "$pid"
  done
  cat "$E2E_TMP/xvfb.log"
  echo "FAIL: Xvfb did not start"
  exit 1
}

# e2e_window NAME-REGEX SECONDS: the id of a visible window whose name matches.
e2e_window() {
  local limit=$(($2 * 10)) i id
  for ((i = 0; i < limit; i++)); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# e2e_keys WINDOW KEY...: focuses the window and sends the keys.
e2e_keys() {
  local win=$1
  shift
  xdotool windowfocus --sync "$win" && xdotool key --delay 30 "$@"
}

# e2e_type WINDOW TEXT: focuses the window and types the text.
e2e_type() {
  xdotool windowfocus --sync "$1" && xdotool type --delay 20 -- "$2"
}
