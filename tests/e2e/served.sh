#!/usr/bin/env bash
# One whole unattended transmission with the main database and the branches
# behind a Firebird server on 127.0.0.1 (attachment strings 127.0.0.1/PORT:path,
# the branch paths built from RPCO_SERVIDOR), against the same run on embedded
# databases: every table of every database the same; again with the client's
# wire compression (CompresionRed=SI).
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

e2e_server_start
L="$E2E_TMP/l"
S="$E2E_TMP/s"
Z="$E2E_TMP/z"
e2e_company "$L" 2008-12-01
e2e_company "$S" 2008-12-01 "$E2E_REMOTE"
e2e_company "$Z" 2008-12-01 "$E2E_REMOTE"
echo "CompresionRed=SI" >> "$Z/xdg/Quenda/Varnex2009.conf"

e2e_step "embedded run"
e2e_run_unattended "$L" C.UTF-8 60 3 "$L/srv" SYSDBA masterkey DEMO x x x x x S 12/1/08
e2e_step "served run through 127.0.0.1:$E2E_FB_PORT"
e2e_run_unattended "$S" C.UTF-8 60 3 "$E2E_REMOTE$S/srv" SYSDBA masterkey DEMO x x x x x S 12/1/08
e2e_step "served run, compressed"
e2e_run_unattended "$Z" C.UTF-8 60 3 "$E2E_REMOTE$Z/srv" SYSDBA masterkey DEMO x x x x x S 12/1/08

# dumps DIR NAME: every database of the company, the folders written as DIR.
dumps() {
  local dir=$1 db
  for db in main 001 002 003; do
    if [ $db = main ]; then path=$(e2e_main_db "$dir"); else path=$(e2e_branch_db "$dir" $db); fi
    echo "## $db"
    e2e_dump "$path" | sed -e "s|$E2E_REMOTE||g" -e "s|$dir|DIR|g"
  done
}
dumps "$L" > "$E2E_TMP/embedded"
dumps "$S" > "$E2E_TMP/served"
dumps "$Z" > "$E2E_TMP/compressed"
e2e_check_file "every table of every database, served as embedded" "$E2E_TMP/embedded" "$E2E_TMP/served"
e2e_check_file "every table of every database, compressed as embedded" "$E2E_TMP/embedded" "$E2E_TMP/compressed"
e2e_check "the run filled every accumulated table: 5 rows in 4 databases" 20 \
  "$(grep -c '^PUNTOS_CLIENTE_ACUMULADO|.*|2008-12-01|' "$E2E_TMP/served")"
e2e_check "the branch without a database is logged twice" 2 "$(tr -d '\r' < "$S/app/ERRORENVPTOS.TXT" | wc -l)"
[ -e "$S/ERRORES.TXT" ] && e2e_fail "ERRORES.TXT written: $(cat -v "$S/ERRORES.TXT")"

e2e_finish
