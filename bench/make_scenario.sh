#!/usr/bin/env bash
# Builds a benchmark company for a transmission on DATE:
#   OUT/srv/datos/BENCH/varnex.fdb        main database (server folder RUN/srv)
#   OUT/sNNN\datos\NNN\varnex.fdb         branch NNN (server RUN/sNNN), NNN = 001..B
# REPLICA_COMPANIA names the branches under RUN, the folder the databases are
# copied to before each run (OUT itself when RUN is omitted).
#
# Per branch: C customers audited as inserted on DATE (TERCEROS, CLIENTES,
# AUDITORIA), every tenth of them already present in the main database; C/10
# customers of the day before; S customers in the points summary (the same S
# customers in every branch, two movements each, every third also redeemed);
# old rows in PUNTOS_CLIENTE_ACUMULADO.
# Main: M customers audited as inserted on DATE for the distribution pass
# (M = C/5 unless given), every tenth already present in every branch; the
# replication settings; old rows in PUNTOS_CLIENTE_ACUMULADO.
# Text carries Latin-1 bytes, quotes, NULLs, scaled decimals and timestamps
# with fractions of a second.
set -euo pipefail

usage() { echo "usage: $0 OUT B C S [M] [DATE] [RUN]" >&2; exit 2; }
[ $# -ge 4 ] || usage
B=$2 C=$3 S=$4 M=${5:-$(( $3 / 5 ))} D=${6:-2008-12-01}
for n in "$B" "$C" "$S" "$M"; do [[ $n =~ ^[0-9]+$ ]] || usage; done
[[ $D =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] || usage
[ "$B" -ge 1 ] && [ "$B" -le 999 ] || usage
ISQL=${CONSOPUNTOS_ISQL:-isql-fb}
SCHEMA=$(cd "$(dirname "${BASH_SOURCE[0]}")/../db" && pwd)
mkdir -p "$1"
OUT=$(cd "$1" && pwd)
RUN=${7:-$OUT}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/cpts-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

a=$'\xe1' e=$'\xe9' i=$'\xed' o=$'\xf3' n=$'\xf1'

code() { printf '%03d' "$1"; }
branch_path() { local c; c=$(code "$1"); echo "$OUT/s$c\\datos\\$c\\varnex.fdb"; }
if [ $(( ${#RUN} + 5 )) -gt 60 ]; then
  echo "$0: server folder '$RUN/sNNN' is longer than RPCO_SERVIDOR (60 characters)" >&2
  exit 1
fi

# create_db PATH SCHEMA DATA-FILE
create_db() {
  local path=$1 schema=$2 data=$3 script="$WORK/create.sql"
  mkdir -p "$(dirname "$path")"
  rm -f "$path"
  {
    echo "SET SQL DIALECT 3;"
    echo "SET NAMES ISO8859_1;"
    echo "CREATE DATABASE '${path//\'/\'\'}' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;"
    echo "INPUT '$SCHEMA/schema_common.sql';"
    echo "INPUT '$SCHEMA/$schema';"
    echo "SET NAMES ISO8859_1;"
    echo "SET TERM ^ ;"
    cat "$data"
    echo "SET TERM ; ^"
    echo "COMMIT;"
  } > "$script"
  # Through -i: isql-fb drops bytes above 127 from a script read on standard input.
  "$ISQL" -q -b -i "$script" > "$WORK/isql.log" 2>&1 || { cat "$WORK/isql.log" >&2; exit 1; }
}

# customers PREFIX FIRST LAST AUDIT-DATE-EXPR AUDIT(1/0): an EXECUTE BLOCK
# inserting customers PREFIX-000001.. with varied values; AUDIT 1 adds their
# insert audit (and an update audit for every third).
customers() {
  cat <<EOF
EXECUTE BLOCK AS
  DECLARE k INTEGER = $2;
  DECLARE nit VARCHAR(20);
BEGIN
  WHILE (:k <= $3) DO
  BEGIN
    nit = '$1-' || LPAD(:k, 6, '0');
    INSERT INTO TERCEROS (TERC_NIT, TERC_TIPO, TERC_NOMBRE, TERC_APELLIDOS, TERC_DIRECCION, TERC_TELEFONO,
                          TERC_EMAIL, TERC_FECHA_NAC, TERC_RETENCION, TERC_CREADO)
    VALUES (:nit, IIF(MOD(:k, 7) = 0, 'J', 'N'),
            IIF(MOD(:k, 2) = 0, 'Jos${e} Mar${i}a ', 'Ana Luc${i}a ') || :k,
            IIF(MOD(:k, 5) = 0, NULL, IIF(MOD(:k, 11) = 0, 'O''Brien ', 'Garc${i}a Mu${n}oz ') || :k),
            'Calle ' || MOD(:k, 97) || ' # ' || :k || '-' || MOD(:k, 13),
            IIF(MOD(:k, 3) = 0, NULL, '60155' || LPAD(:k, 5, '0')),
            IIF(MOD(:k, 4) = 0, NULL, 'c' || :k || '@correo.example'),
            IIF(MOD(:k, 6) = 0, NULL, DATE '1950-01-01' + MOD(:k * 37, 18000)),
            IIF(MOD(:k, 4) = 1, NULL, MOD(:k, 99999) * 0.01),
            IIF(MOD(:k, 9) = 0, NULL, CAST($4 AS TIMESTAMP) + MOD(:k, 36000) * 0.000011574074 + MOD(:k, 7) * 0.0000001));
    INSERT INTO CLIENTES (TERC_NIT, CLIE_CATEGORIA, CLIE_CUPO, CLIE_DESCUENTO, CLIE_ZONA, CLIE_OBSERVACION,
                          CLIE_FECHA_ALTA)
    VALUES (:nit, IIF(MOD(:k, 3) = 0, 'A', IIF(MOD(:k, 3) = 1, 'B', 'C')),
            IIF(MOD(:k, 8) = 0, NULL, :k * 1000.5),
            IIF(MOD(:k, 5) = 2, NULL, MOD(:k, 1000) * 0.000123),
            IIF(MOD(:k, 2) = 0, 'Norte', 'Centro'),
            IIF(MOD(:k, 10) = 3, 'Pag${o} con tarjeta; cliente ''preferido'' ' || :k, NULL),
            CAST($4 AS TIMESTAMP) + MOD(:k, 36000) * 0.000011574074);
    IF ($5 = 1) THEN
    BEGIN
      INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_HORA, AUDI_OPER, AUDI_USUARIO)
      VALUES (103, :nit, $4, TIME '10:00:00', 'I', 'CAJA');
      IF (MOD(:k, 3) = 0) THEN
        INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_HORA, AUDI_OPER, AUDI_USUARIO)
        VALUES (103, :nit, $4, TIME '11:00:00', 'U', 'CAJA');
    END
    k = :k + 1;
  END
END^
EOF
}

# every_tenth PREFIX COUNT: customers PREFIX-..., k a multiple of 10, without audit.
every_tenth() {
  cat <<EOF
EXECUTE BLOCK AS
  DECLARE k INTEGER = 10;
  DECLARE nit VARCHAR(20);
BEGIN
  WHILE (:k <= $2) DO
  BEGIN
    nit = '$1-' || LPAD(:k, 6, '0');
    INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_CREADO) VALUES (:nit, 'Ya existente ' || :k, TIMESTAMP '2007-01-01 00:00:00');
    INSERT INTO CLIENTES (TERC_NIT, CLIE_CATEGORIA, CLIE_CUPO) VALUES (:nit, 'A', 0);
    k = :k + 10;
  END
END^
EOF
}

# old_points PREFIX COUNT: rows of PUNTOS_CLIENTE_ACUMULADO that the run replaces.
old_points() {
  cat <<EOF
EXECUTE BLOCK AS
  DECLARE k INTEGER = 1;
BEGIN
  WHILE (:k <= $2) DO
  BEGIN
    INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('$1-' || LPAD(:k, 6, '0'), DATE '$D' - 30, :k * 1.5, IIF(MOD(:k, 2) = 0, NULL, 1));
    k = :k + 1;
  END
END^
EOF
}

# --- Main database -------------------------------------------------------------
{
  echo "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'REPLICAR CAMBIOS EN ARTICULOS', 'SI')^"
  echo "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS', 'SYSDBA')^"
  echo "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS', 'masterkey')^"
  for ((b = 1; b <= B; b++)); do
    c=$(code $b)
    echo "INSERT INTO REPLICA_COMPANIA VALUES ('$c', 'Sucursal $c Pe${n}a', '${RUN//\'/\'\'}/s$c', 'N')^"
    every_tenth "S$c" "$C"
  done
  customers M 1 "$M" "DATE '$D'" 1
  customers MY 1 $(( (M + 9) / 10 )) "DATE '$D' - 1" 1
  old_points OLD $(( S / 10 + 1 ))
} > "$WORK/main.sql"
create_db "$OUT/srv/datos/BENCH/varnex.fdb" schema_main.sql "$WORK/main.sql"

# --- Branch databases -----------------------------------------------------------
for ((b = 1; b <= B; b++)); do
  c=$(code $b)
  {
    customers "S$c" 1 "$C" "DATE '$D'" 1
    customers "SY$c" 1 $(( (C + 9) / 10 )) "DATE '$D' - 1" 1
    every_tenth M "$M"
    cat <<EOF
EXECUTE BLOCK AS
  DECLARE k INTEGER = 1;
  DECLARE nit VARCHAR(20);
BEGIN
  WHILE (:k <= $S) DO
  BEGIN
    nit = 'P-' || LPAD(:k, 6, '0');
    INSERT INTO MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA, MOPU_PUNTOS, MOPU_VENCE, MOPU_DOCUMENTO)
    VALUES (:nit, DATE '$D' - MOD(:k + $b, 30), 10 + MOD(:k * 7 + $b, 500) + MOD(:k, 4) * 0.25, DATE '$D' + MOD(:k, 60), 'F$c-' || :k);
    INSERT INTO MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA, MOPU_PUNTOS, MOPU_VENCE, MOPU_DOCUMENTO)
    VALUES (:nit, DATE '$D' - 400, 99, DATE '$D' - 35, 'V$c-' || :k);
    IF (MOD(:k, 3) = 0) THEN
      INSERT INTO MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA, MOPU_PUNTOS, MOPU_VENCE, MOPU_DOCUMENTO)
      VALUES (:nit, DATE '$D', -5.5, NULL, 'R$c-' || :k);
    k = :k + 1;
  END
END^
EOF
    old_points "OLD$c" $(( S / 10 + 1 ))
  } > "$WORK/branch.sql"
  create_db "$(branch_path $b)" schema_branch.sql "$WORK/branch.sql"
done

echo "scenario B=$B C=$C S=$S M=$M date $D in $OUT (server folders under $RUN)"
