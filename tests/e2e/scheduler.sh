#!/usr/bin/env bash
# The program as a scheduler meets it, in cron's plain environment (env -i
# PATH=/usr/bin:/bin: no locale, no display, no QT_QPA_PLATFORM):
#   (a) --help and --version print and end with 0, without the toolkit; a
#       character outside ISO-8859-1 ends the start with 2 and one line;
#   (b) the demo company runs to its end offscreen by itself: status 3, one
#       line on standard error per walk for branch 004 with the reason, one
#       line in TRANSMISIONES.TXT with what the run did;
#   (c) without branch 004, a YYYY-MM-DD date in a dd/mm/yy locale: status 0,
#       nothing on standard error;
#   (d) a date that is none, a company without a database: the error's line,
#       status 1 within seconds, the history line of the stopped start;
#   (e) no Varnex2009.conf at all: the message and the files looked for on
#       standard error, answered at once; the run still ends.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

version=$(sed -n 's/^project(consopuntos VERSION \([0-9.]*\).*/\1/p' "$E2E_SRC/CMakeLists.txt")
o=$'\xc3\xb3'  # ó in UTF-8, as standard error and the logs carry it

# ---- (a) the command line alone -------------------------------------------------------
e2e_step "(a) --help, --version, an unusable command line"
X="$E2E_TMP/x"
mkdir -p "$X"
# cron_run SECONDS [NAME=VALUE...] -- ARGS...: starts in X and waits for the end.
cron_run() {
  local seconds=$1
  shift
  e2e_start_cron "$X" "$@"
  if ! e2e_wait_exit "$E2E_PID" "$seconds"; then
    e2e_fail "still running after ${seconds}s: $*"
    e2e_stop "$E2E_PID"
    E2E_RC=none
  fi
}
cron_run 10 -- --help
e2e_check "--help: status" 0 "$E2E_RC"
grep -q '^Uso: consopuntos' "$X/cron.out" || e2e_fail "--help: no usage on standard output: $(head -3 "$X/cron.out")"
for text in TRANSMISIONES.TXT ERRORENVPTOS.TXT Varnex2009.conf "128+n" "AAAA-MM-DD"; do
  grep -qF -- "$text" "$X/cron.out" || e2e_fail "--help does not mention $text"
done
iconv -f UTF-8 -t UTF-8 "$X/cron.out" > /dev/null 2>&1 || e2e_fail "--help: the usage is not UTF-8"
e2e_check "--help: nothing on standard error" "" "$(cat "$X/cron.err")"
cron_run 10 -- --version
e2e_check "--version: status" 0 "$E2E_RC"
e2e_check "--version: the project's version" "consopuntos $version" "$(cat "$X/cron.out")"
e2e_check "--version: nothing on standard error" "" "$(cat "$X/cron.err")"
# The company code with a euro sign, in a UTF-8 locale: nothing connects.
cron_run 10 LC_ALL=C.UTF-8 -- "$X/srv" SYSDBA masterkey $'DEMO\xe2\x82\xac' x x x x x S
e2e_check "character outside ISO-8859-1: status" 2 "$E2E_RC"
e2e_check "character outside ISO-8859-1: the line names the position" \
  "consopuntos: la posici${o}n 4 de la l"$'\xc3\xad'"nea de "$'\xc3\xb3'"rdenes tiene un car"$'\xc3\xa1'"cter que ISO-8859-1 no tiene" \
  "$(cat "$X/cron.err")"
# In a password the line does not repeat the text.
cron_run 10 LC_ALL=C.UTF-8 -- "$X/srv" SYSDBA $'se\xe2\x82\xaccreto' DEMO x x x x x S
e2e_check "a password outside ISO-8859-1: status" 2 "$E2E_RC"
grep -q "creto" "$X/cron.err" && e2e_fail "the line repeats the password: $(cat "$X/cron.err")"
[ -e "$X/ERRORES.TXT" ] && e2e_fail "an unusable command line reached the error reporter"

# ---- (b) the demo company ---------------------------------------------------------------
e2e_step "(b) the demo company in cron's environment"
S="$E2E_TMP/s"
e2e_company "$S" 2008-12-01
CONF=XDG_CONFIG_DIRS="$S/xdg"
ARGS=("$S/srv" SYSDBA masterkey DEMO x x x x x S)

# run_s SECONDS STATUS [NAME=VALUE...] -- ARGS...: a run of S in cron's environment.
run_s() {
  local seconds=$1 status=$2
  shift 2
  e2e_start_cron "$S" "$@"
  if ! e2e_wait_exit "$E2E_PID" "$seconds"; then
    e2e_fail "still running after ${seconds}s"
    e2e_stop "$E2E_PID"
    return 1
  fi
  if [ "$E2E_RC" != "$status" ]; then
    e2e_fail "status $E2E_RC, not $status"
    sed 's/^/   | /' "$S/cron.err" | cut -c1-200 | tail -10
    return 1
  fi
  return 0
}

if run_s 60 3 "$CONF" -- "${ARGS[@]}" 12/1/08; then
  e2e_check_demo_run "$S" "(b)" 003
  e2e_check "(b) nothing on standard output" "" "$(cat "$S/cron.out")"
  e2e_check "(b) two lines on standard error" 2 "$(wc -l < "$S/cron.err")"
  n=0
  for label in "Trayendo puntos" "Enviando consolidado"; do
    n=$((n + 1))
    line=$(sed -n "${n}p" "$S/cron.err")
    prefix="consopuntos: No se abri${o} la sucursal $S/suc004\\datos\\004 ($label): "
    e2e_check "(b) stderr line $n: branch and walk" "$prefix" "${line:0:${#prefix}}"
    # The reason: the server's message that the open failed with.
    [[ ${line:${#prefix}} == *"I/O error"*"suc004\\datos\\004\\varnex.fdb"* ]] ||
      e2e_fail "(b) stderr line $n: no reason: ${line:${#prefix}}"
  done
  e2e_check "(b) ERRORENVPTOS.TXT keeps its five columns" "5 5" \
    "$(tr -d '\r' < "$S/app/ERRORENVPTOS.TXT" | awk -F, '{ print NF }' | tr '\n' ' ' | sed 's/ $//')"
  history=$(e2e_history "$S/app/TRANSMISIONES.TXT")
  e2e_check "(b) one history line" 1 "$(printf '%s\n' "$history" | wc -l)"
  e2e_check "(b) TRANSMISIONES.TXT ends its line with CR LF" 0 "$(grep -vc $'\r$' "$S/app/TRANSMISIONES.TXT")"
  # Read as CSV by a standard reader, by the header's names.
  IFS='|' read -r h1 h2 h3 h4 h5 h6 h7 rest <<< "$(e2e_history_csv "$S/app/TRANSMISIONES.TXT" inicio fin servidor \
    compania fecha_transmision resultado segundos sucursales sin_abrir_trayendo sin_abrir_enviando terceros_traidos \
    terceros_enviados llamadas_acumulacion acumulados_enviados sucursales_sin_abrir)"
  [[ $h1 =~ ^$(date +%F)T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}$ ]] || e2e_fail "(b) history: start '$h1'"
  [[ $h2 =~ ^$(date +%F)T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}$ ]] || e2e_fail "(b) history: end '$h2'"
  e2e_check "(b) history: server folder, company, date, result" \
    "$S/srv|DEMO|2008-12-01|completa con sucursales sin abrir" "$h3|$h4|$h5|$h6"
  [[ $h7 =~ ^[0-9]+$ ]] || e2e_fail "(b) history: seconds '$h7'"
  # 4 branches, 004 not opened in either walk; 4 customers brought (80012345,
  # O'BRIEN-01, 1015, 52123456), 5 sent (M-5001 to three branches, M-5002 to
  # two); 7 rows of the points summaries; 5 accumulated rows to 3 branches;
  # the folder of 004.
  e2e_check "(b) history: what the run did" "4|1|1|4|5|7|15|$S/suc004\\datos\\004" "$rest"
fi

# ---- (c) no branch without a database ---------------------------------------------------
e2e_step "(c) without branch 004, 2008-12-01 in es_CO: status 0, standard error empty"
e2e_restore "$S"
e2e_exec "$(e2e_main_db "$S")" "DELETE FROM REPLICA_COMPANIA WHERE RPCO_COD = '004';"
if ! locale -a 2>/dev/null | grep -i '^es_CO\.utf8$' > /dev/null; then
  e2e_fail "(c) locale es_CO.UTF-8 is missing (scripts/setup.sh generates it)"
elif old="01/12/08,2:30:41,/srv,DEMO,01/12/08,completa,1,4,0,0,4,5,7,15" &&
  printf '%s\r\n' "$old" > "$S/app/TRANSMISIONES.TXT" &&  # last release's form
  run_s 60 0 "$CONF" LC_ALL=es_CO.UTF-8 -- "${ARGS[@]}" 2008-12-01; then
  e2e_check "(c) the history of the older form kept aside" "$old" "$(tr -d '\r' < "$S/app/TRANSMISIONES.anterior.TXT")"
  e2e_check_demo_run "$S" "(c)" 001
  e2e_check "(c) standard error is empty" "" "$(cat "$S/cron.err")"
  e2e_check "(c) standard output is empty" "" "$(cat "$S/cron.out")"
  e2e_check "(c) history in es_CO, read as CSV: date, result, branches" "2008-12-01|completa|3|0|0" \
    "$(e2e_history_csv "$S/app/TRANSMISIONES.TXT" fecha_transmision resultado sucursales sin_abrir_trayendo \
      sin_abrir_enviando)"
  [ -e "$S/app/ERRORENVPTOS.TXT" ] && e2e_fail "(c) ERRORENVPTOS.TXT written"
  rm -f "$S/app/TRANSMISIONES.anterior.TXT"
fi

# ---- (d) errors that used to wait for a dialog nobody sees ------------------------------
e2e_restore "$S"
for case in date company; do
  if [ $case = date ]; then
    e2e_step "(d) position 11 is no date"
    args=("${ARGS[@]}" 2008-13-01)
    line="Error: Se presento el siguiente error: '2008-13-01' no es una fecha v"$'\xc3\xa1'"lida"
  else
    e2e_step "(d) a company without a database"
    args=("$S/srv" SYSDBA masterkey NOEXISTE x x x x x S 12/1/08)
    # The server's own words after the rule's text.
    line="Error: No se encontr${o} el archivo o la ruta $S/srv/datos/NOEXISTE/varnex.fdb (el servidor dijo: dbExpress"
    line+=" Error: [0x0015]: Connection failed SQL Server Error: I/O error during \"open\" operation for file"
    line+=" \"$S/srv/datos/NOEXISTE/varnex.fdb\" Error while trying to open file No such file or directory)"
  fi
  rm -f "$S/app/TRANSMISIONES.TXT"
  t0=$(date +%s)
  if run_s 15 1 "$CONF" -- "${args[@]}"; then
    echo "   ended in $(($(date +%s) - t0)) s"
    e2e_check "(d) $case: the error's line on standard error" "$line" "$(cat "$S/cron.err")"
    e2e_check "(d) $case: the history line of the stopped start" ",detenida por un error,0,0,0" \
      "$(e2e_history "$S/app/TRANSMISIONES.TXT" | cut -d, -f5,6,8-10)"
  fi
done
rm -f "$S/ERRORES.TXT"

# ---- (e) no configuration -----------------------------------------------------------------
e2e_step "(e) no Varnex2009.conf: answered at once, the run still ends"
if [ -e /etc/xdg/Quenda/Varnex2009.conf ]; then
  echo "   (this machine has /etc/xdg/Quenda/Varnex2009.conf: not checked)"
else
  e2e_restore "$S"
  if run_s 60 3 -- "${ARGS[@]}" 12/1/08; then
    e2e_check_demo_run "$S" "(e)" 002
    grep -qxF "consopuntos: Falta la configuraci${o}n; archivos buscados: /etc/xdg/Quenda/Varnex2009.conf" "$S/cron.err" ||
      e2e_fail "(e) no line with the files looked for: $(head -2 "$S/cron.err")"
    grep -qxF 'consopuntos: No se encontr'"$o"' la Clave HKEY_LOCAL_MACHINE\Software\Quenda\Varnex2009\Directorio' "$S/cron.err" ||
      e2e_fail "(e) no message line"
    # With no application directory the logs land in the working directory.
    e2e_check "(e) the history in the working directory" "completa con sucursales sin abrir" \
      "$(e2e_history "$S/TRANSMISIONES.TXT" | cut -d, -f6)"
  fi
  rm -f "$S/TRANSMISIONES.TXT" "$S/ERRORENVPTOS.TXT"
fi

# ---- (f) no display, and a command line the program cannot use ----------------------------------
e2e_step "(f) without a display: a start that would open the window, unknown options, -h"
for args in "" "help" "--foo" "$S/srv SYSDBA masterkey DEMO x x x x x"; do
  # shellcheck disable=SC2086  # the words are the arguments
  if run_s 10 2 XDG_CONFIG_DIRS="$S/xdg" -- $args; then
    e2e_check "(f) '$args': one line, no toolkit message" 1 "$(wc -l < "$S/cron.err")"
    grep -q -- "--help" "$S/cron.err" || e2e_fail "(f) '$args': the line does not point at --help: $(cat "$S/cron.err")"
  fi
done
# A display that cannot be reached: the toolkit's lines, then the program's, and 2.
if run_s 10 2 XDG_CONFIG_DIRS="$S/xdg" DISPLAY=:9999 XAUTHORITY=/nonexistent -- "${ARGS[@]}"; then
  e2e_check "(f) an unreachable display: the program's line" 1 \
    "$(grep -c '^consopuntos: la biblioteca gr.*fica no puede abrir la ventana (DISPLAY=:9999); vea consopuntos --help$' "$S/cron.err")"
fi
if run_s 10 0 -- -h; then
  grep -q "^Uso: consopuntos" "$S/cron.out" || e2e_fail "(f) -h: no usage on standard output"
fi
rm -f "$S/TRANSMISIONES.TXT"

e2e_finish
