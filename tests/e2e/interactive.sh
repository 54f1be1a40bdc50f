#!/usr/bin/env bash
# The real program driven through its window on an X server (Xvfb + xdotool):
#   1. user, password and company typed, Enter in the company field connects,
#      a typed transmission date, F5: the run happens and the program ends;
#   2. a company without a database: the error dialog, one ERRORES.TXT entry,
#      the window still open after the dialog is answered, Esc ends it.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

for tool in Xvfb xdotool; do
  command -v $tool > /dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh)"; exit 1; }
done
PCA=PUNTOS_CLIENTE_ACUMULADO
TITLE="^Consolidaci.+n puntos clientes$"  # the accent is two bytes to a C-locale regex
I="$E2E_TMP/i"
e2e_company "$I" 2008-12-01
e2e_xvfb

# wait_open PID FILE SECONDS: waits until the process holds FILE open (the
# embedded engine opens the database file in the program's own process).
wait_open() {
  local limit=$(($3 * 10)) i
  for ((i = 0; i < limit; i++)); do
    find "/proc/$1/fd" -lname "$2" 2> /dev/null | grep . > /dev/null && return 0
    sleep 0.1
  done
  return 1
}

# login WINDOW COMPANY: Servidor has the focus; Enter moves on field by field.
login() {
  e2e_keys "$1" Return
  e2e_type "$1" SYSDBA
  e2e_keys "$1" Return
  e2e_type "$1" masterkey
  e2e_keys "$1" Return
  e2e_type "$1" "$2"
  e2e_keys "$1" Return
}

# ---- 1. a whole run from the window ------------------------------------------------------
e2e_step "1. connect, type the date, F5"
e2e_start "$I" C.UTF-8
if win=$(e2e_window "$TITLE" 20); then
  login "$win" DEMO
  if wait_open "$E2E_PID" "$(e2e_main_db "$I")" 15; then
    # The date field has the focus now and shows today's date.
    e2e_keys "$win" ctrl+a
    e2e_type "$win" 12/1/08
    e2e_keys "$win" F5
    if e2e_wait_exit "$E2E_PID" 60; then
      e2e_check "1. exit status" 0 "$E2E_RC"
    else
      e2e_fail "1. the program did not end after the run"
      e2e_stop "$E2E_PID"
    fi
  else
    e2e_fail "1. Enter in the company field did not connect to the main database"
    e2e_stop "$E2E_PID"
  fi
else
  e2e_fail "1. no window titled '$TITLE'"
  e2e_stop "$E2E_PID"
fi
e2e_dump "$(e2e_main_db "$I")" > "$I.main"
main_pca=$(e2e_rows "$I.main" $PCA)
e2e_check "1. the main accumulated table, collected for 2008-12-01" 5 "$(printf '%s\n' "$main_pca" | grep -c '|2008-12-01|')"
for key in 80012345 52123456; do
  [ -n "$(e2e_rows "$I.main" CLIENTES $key)" ] || e2e_fail "1. customer $key did not reach the main database"
done
for code in 001 002 003; do
  e2e_dump "$(e2e_branch_db "$I" $code)" > "$I.$code"
  e2e_check "1. branch $code got the main accumulated table" "$main_pca" "$(e2e_rows "$I.$code" $PCA)"
  [ -n "$(e2e_rows "$I.$code" CLIENTES M-5001)" ] || e2e_fail "1. customer M-5001 did not reach branch $code"
done
e2e_check "1. branch 004 logged in both walks" "Trayendo puntos,12/1/08 Enviando consolidado,12/1/08" \
  "$(tr -d '\r' < "$I/app/ERRORENVPTOS.TXT" 2>/dev/null | cut -d, -f4- | tr '\n' ' ' | sed 's/ $//')"
[ -e "$I/ERRORES.TXT" ] && e2e_fail "1. ERRORES.TXT written: $(cat -v "$I/ERRORES.TXT")"

# ---- 2. a company without a database -------------------------------------------------------
e2e_step "2. company NOEXISTE: error dialog, then Esc"
rm -f "$I/ERRORES.TXT"
e2e_start "$I" C.UTF-8
if win=$(e2e_window "$TITLE" 20); then
  login "$win" NOEXISTE
  if dialog=$(e2e_window "^Error$" 20); then
    entries=$(e2e_log_entries "$I/ERRORES.TXT")
    e2e_check "2. one entry in ERRORES.TXT" 1 "$(printf '%s' "$entries" | grep -c .)"
    # Firebird 3 words it: I/O error during "open" operation for file "PATH".
    { grep -qF 'I/O error' "$I/ERRORES.TXT" && grep -qF "\"$I/srv/datos/NOEXISTE/varnex.fdb\"" "$I/ERRORES.TXT"; } 2> /dev/null ||
      e2e_fail "2. ERRORES.TXT lacks the failed open of the missing database: $(cat -v "$I/ERRORES.TXT" 2> /dev/null)"
    e2e_keys "$dialog" Return
    for ((i = 0; i < 50; i++)); do
      xdotool search --onlyvisible --name "^Error$" > /dev/null 2>&1 || break
      sleep 0.1
    done
    xdotool search --onlyvisible --name "^Error$" > /dev/null 2>&1 && e2e_fail "2. Return did not close the error dialog"
    if e2e_wait_exit "$E2E_PID" 1; then
      e2e_fail "2. the program ended after the error dialog (status $E2E_RC)"
    else
      e2e_keys "$win" Escape
      if e2e_wait_exit "$E2E_PID" 15; then
        e2e_check "2. exit status after Esc" 0 "$E2E_RC"
      else
        e2e_fail "2. Esc did not end the program"
      fi
    fi
    e2e_check "2. still one entry in ERRORES.TXT (no second attempt)" 1 \
      "$(e2e_log_entries "$I/ERRORES.TXT" | grep -c .)"
  else
    e2e_fail "2. no error dialog for a company without a database"
  fi
else
  e2e_fail "2. no window titled '$TITLE'"
fi
e2e_stop "$E2E_PID"
[ -e "$I/srv/datos/NOEXISTE" ] && e2e_fail "2. a folder for the missing company was created"

e2e_finish
