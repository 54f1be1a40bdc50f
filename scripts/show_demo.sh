#!/usr/bin/env bash
# Prints what a run left in the demo company: customers in the main database
# and in every branch, each accumulated table, the logs and the history.
set -uo pipefail
DIR=$(cd "$1" && pwd)
MAIN="$DIR/srv/datos/DEMO/varnex.fdb"

query() {  # query DB SQL: rows as isql-fb prints them
  local script
  script=$(mktemp)
  printf 'SET NAMES ISO8859_1;\nCONNECT '"'%s'"' USER '"'SYSDBA'"' PASSWORD '"'masterkey'"';\n%s\n' "${1//\'/\'\'}" "$2" > "$script"
  LC_ALL=C.UTF-8 isql-fb -q -i "$script" 2>&1 | iconv -f ISO-8859-1 -t UTF-8 | sed '/^$/d'
  rm -f "$script"
}

show() {  # show LABEL DB
  echo
  echo "#### $1"
  if [ ! -f "$2" ]; then echo "(no database)"; return; fi
  echo "-- TERCEROS"
  query "$2" "SELECT TERC_NIT, TERC_NOMBRE, TERC_APELLIDOS FROM TERCEROS ORDER BY TERC_NIT;"
  echo "-- CLIENTES"
  query "$2" "SELECT TERC_NIT, CLIE_CUPO, CLIE_DESCUENTO FROM CLIENTES ORDER BY TERC_NIT;"
  echo "-- PUNTOS_CLIENTE_ACUMULADO"
  query "$2" "SELECT TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER FROM PUNTOS_CLIENTE_ACUMULADO ORDER BY TERC_NIT;"
}

show "Main database (DEMO)" "$MAIN"
for code in 001 002 003 004; do
  show "Branch $code" "$DIR/suc$code\\datos\\$code\\varnex.fdb"
done
echo
echo "#### ERRORENVPTOS.TXT (branches that did not open)"
cat "$DIR/app/ERRORENVPTOS.TXT" 2>/dev/null | tr -d '\r' || echo "(none)"
echo
echo "#### TRANSMISIONES.TXT (history of runs)"
cat "$DIR/app/TRANSMISIONES.TXT" 2>/dev/null | tr -d '\r' || echo "(none)"
echo
echo "#### ERRORES.TXT (error log)"
if [ -f "$DIR/ERRORES.TXT" ]; then tr -d '\r' < "$DIR/ERRORES.TXT"; else echo "(none)"; fi
