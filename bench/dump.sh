#!/usr/bin/env bash
# Prints every table of a benchmark company's databases (main first, then the
# branches in name order), each in key order: DIR as built by make_scenario.sh.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
ISQL=${CONSOPUNTOS_ISQL:-isql-fb}
DIR=$(cd "$1" && pwd)
script=$(mktemp "${TMPDIR:-/tmp}/cpts-dump-XXXXXX.sql")
trap 'rm -f "$script"' EXIT
common="SELECT * FROM TERCEROS ORDER BY TERC_NIT;
SELECT * FROM CLIENTES ORDER BY TERC_NIT;
SELECT * FROM AUDITORIA ORDER BY AUDI_ID;
SELECT * FROM PUNTOS_CLIENTE_ACUMULADO ORDER BY TERC_NIT;"
dump() {
  local path=$1 extra=$2
  echo "== ${path#"$DIR"/}"
  printf "CONNECT '%s' USER 'SYSDBA' PASSWORD 'masterkey';\n%s\n%s\n" "${path//\'/\'\'}" "$common" "$extra" > "$script"
  "$ISQL" -q -b -i "$script"
}
for main in "$DIR"/srv/datos/*/varnex.fdb; do
  dump "$main" "SELECT * FROM CONFIGURACION ORDER BY 1, 2, 3;
SELECT * FROM REPLICA_COMPANIA ORDER BY RPCO_COD;"
done
for branch in "$DIR"/*varnex.fdb; do
  [ -e "$branch" ] || continue
  dump "$branch" "SELECT * FROM MOVIMIENTO_PUNTOS ORDER BY MOPU_ID;"
done
