#!/usr/bin/env bash
# Failures in the middle of an unattended run of the real program:
#   (a) a branch rejects one main customer in the distribution pass: logged
#       once, no dialog, the later customers still reach the branch;
#   (b) a branch rejects a row of the accumulated table while it is refilled:
#       the branch keeps its old table, the error is logged and shown, the
#       run stops there (later branches untouched); nobody sees the window,
#       so the program ends with 1 instead of waiting;
#   (c) a replication switch other than "SI": the window closes, nothing
#       changes, the status is 0.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

PCA=PUNTOS_CLIENTE_ACUMULADO
M="$E2E_TMP/m"
e2e_company "$M" 2008-12-01
ARGS=("$M/srv" SYSDBA masterkey DEMO x x x x x S 12/1/08)

db_path() { if [ "$1" = main ]; then e2e_main_db "$M"; else e2e_branch_db "$M" "$1"; fi; }
dump_all() {  # dump_all SUFFIX: every database of M to M.SUFFIX.DB
  local db
  for db in main 001 002 003; do e2e_dump "$(db_path $db)" > "$M.$1.$db"; done
}

# ---- (a) a customer rejected in the distribution pass ------------------------------------
e2e_step "(a) branch 003 rejects the CLIENTES row of M-5001"
e2e_exec "$(db_path 003)" \
  "ALTER TABLE CLIENTES ADD CONSTRAINT CK_E2E_RECHAZO CHECK (TERC_NIT <> 'M-5001');"
# The rejected row must come before another one of the same table for the check
# on "later customers" to mean anything: the main database offers them in this order.
offered=$(e2e_isql "$(db_path main)" "SET HEADING OFF;" \
  "SELECT TERC_NIT FROM CLIENTES T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE TIDO_COD = 103 AND AUDI_COD = T.TERC_NIT AND AUDI_FECHA = '2008-12-01' AND AUDI_OPER = 'I');" |
  sed -e 's/[[:space:]]*$//' -e '/^$/d' | tr '\n' ' ')
e2e_check "(a) main offers M-5001 before M-5002" "M-5001 M-5002 " "$offered"

if e2e_run_unattended "$M" C.UTF-8 60 3 "${ARGS[@]}"; then
  dump_all a
  entries=$(e2e_log_entries "$M/ERRORES.TXT")
  e2e_check "(a) one entry in ERRORES.TXT" 1 "$(printf '%s' "$entries" | grep -c .)"
  grep -q "CK_E2E_RECHAZO" "$M/ERRORES.TXT" 2>/dev/null ||
    e2e_fail "(a) ERRORES.TXT lacks the database's message: $(cat -v "$M/ERRORES.TXT" 2>/dev/null)"
  e2e_check "(a) M-5001: TERCEROS reached branch 003, CLIENTES was rejected" \
    "TERCEROS|M-5001" "$(e2e_rows "$M.a.003" TERCEROS M-5001 | cut -d'|' -f1-2; e2e_rows "$M.a.003" CLIENTES M-5001)"
  e2e_check "(a) the later customer M-5002 reached branch 003" \
    "$(e2e_rows "$M.a.main" CLIENTES M-5002)" "$(e2e_rows "$M.a.003" CLIENTES M-5002)"
  for code in 001 002 003; do
    e2e_check "(a) branch $code got the main accumulated table" \
      "$(e2e_rows "$M.a.main" $PCA)" "$(e2e_rows "$M.a.$code" $PCA)"
  done
  e2e_check "(a) the other branches got M-5001" \
    "$(e2e_rows "$M.a.main" CLIENTES M-5001)$(e2e_rows "$M.a.main" CLIENTES M-5001)" \
    "$(e2e_rows "$M.a.001" CLIENTES M-5001)$(e2e_rows "$M.a.002" CLIENTES M-5001)"
fi

# ---- (b) the refill of one branch fails part-way -------------------------------------------
e2e_step "(b) branch 002 rejects 800100200 in its accumulated table"
e2e_restore "$M"
e2e_exec "$(db_path 002)" \
  "ALTER TABLE $PCA ADD CONSTRAINT CK_E2E_RELLENO CHECK (TERC_NIT <> '800100200');"
dump_all before
e2e_start "$M" C.UTF-8 "${ARGS[@]}"
if ! e2e_wait_file "$M/ERRORES.TXT" 30; then
  e2e_fail "(b) no ERRORES.TXT within 30s"
  e2e_wait_exit "$E2E_PID" 0 && echo "   the program ended with status $E2E_RC"
fi
if e2e_wait_exit "$E2E_PID" 15; then
  e2e_check "(b) exit status: an error stopped the run" 1 "$E2E_RC"
else
  e2e_fail "(b) the program still waits 15s after the error, with nobody to see it"
  e2e_stop "$E2E_PID"
fi
e2e_check "(b) the history says why" "detenida por un error" \
  "$(e2e_history "$M/app/TRANSMISIONES.TXT" | cut -d, -f6)"
dump_all b
entries=$(e2e_log_entries "$M/ERRORES.TXT")
e2e_check "(b) one entry in ERRORES.TXT" 1 "$(printf '%s' "$entries" | grep -c .)"
grep -q "CK_E2E_RELLENO" "$M/ERRORES.TXT" 2>/dev/null ||
  e2e_fail "(b) ERRORES.TXT lacks the database's message: $(cat -v "$M/ERRORES.TXT" 2>/dev/null)"
e2e_check "(b) the main accumulated table holds the five collected customers" 5 \
  "$(e2e_rows "$M.b.main" $PCA | grep -c '|2008-12-01|')"
e2e_check "(b) branch 001, before the failure, got the main accumulated table" \
  "$(e2e_rows "$M.b.main" $PCA)" "$(e2e_rows "$M.b.001" $PCA)"
e2e_check "(b) branch 002 keeps its previous accumulated table exactly" \
  "$(e2e_rows "$M.before.002" $PCA)" "$(e2e_rows "$M.b.002" $PCA)"
e2e_check_file "(b) branch 003, after the failure, is untouched" "$M.before.003" "$M.b.003"
e2e_check "(b) the second walk stopped before branch 004" "Trayendo puntos" \
  "$(tr -d '\r' < "$M/app/ERRORENVPTOS.TXT" 2>/dev/null | cut -d, -f4 | tr '\n' ' ' | sed 's/ $//')"

# ---- (c) replication switch not "SI" --------------------------------------------------------
for value in "si" "Si" "SI "; do
  e2e_step "(c) replication switch '$value'"
  e2e_restore "$M"
  e2e_exec "$(db_path main)" \
    "UPDATE CONFIGURACION SET CONF_VALOR = '$value' WHERE CONF_PROPIEDAD = 'REPLICAR CAMBIOS EN ARTICULOS';"
  dump_all before
  e2e_run_unattended "$M" C.UTF-8 60 5 "${ARGS[@]}" || continue
  e2e_check "(c) '$value': standard error says nothing was done" 1 \
    "$(grep -c "^consopuntos: la replicaci.* est.* desactivada (REPLICAR CAMBIOS EN ARTICULOS = '$value', no 'SI'); no se hizo nada$" "$M/program.log")"
  dump_all c
  e2e_rows "$M.before.main" $PCA | grep . > /dev/null || e2e_fail "(c) the main accumulated table was empty before the run"
  for db in main 001 002 003; do
    e2e_check_file "(c) '$value': the $db database is untouched" "$M.before.$db" "$M.c.$db"
  done
  [ -e "$M/app/ERRORENVPTOS.TXT" ] && e2e_fail "(c) '$value': a branch was contacted"
  e2e_check "(c) '$value': the history says so" "replicaci"$'\xc3\xb3'"n desactivada" \
    "$(e2e_history "$M/app/TRANSMISIONES.TXT" | cut -d, -f6)"
  [ -e "$M/ERRORES.TXT" ] && e2e_fail "(c) '$value': ERRORES.TXT written: $(cat -v "$M/ERRORES.TXT")"
done

e2e_finish
