#!/usr/bin/env bash
# Builds a demo company under DIR for a transmission on DATE (YYYY-MM-DD):
#   DIR/srv/datos/DEMO/varnex.fdb       main database (server folder DIR/srv, company DEMO)
#   DIR/suc001\datos\001\varnex.fdb     branch 001 Norte   (server DIR/suc001)
#   DIR/suc002\datos\002\varnex.fdb     branch 002 Centro  (server DIR/suc002)
#   DIR/suc003\datos\003\varnex.fdb     branch 003 Sur     (server DIR/suc003)
#   branch 004 Occidente is listed but has no database.
# A branch path is its server + "\datos\" + code + "\varnex.fdb"; on Linux the
# backslashes are part of the file name, so each branch is one file in DIR.
# Existing demo databases under DIR are replaced. Names carry Latin-1 bytes.
# PREFIX, when given, goes before every RPCO_SERVIDOR: "127.0.0.1/3050:" puts
# the branches behind a server on this machine.
set -euo pipefail

usage() { echo "usage: $0 DIR YYYY-MM-DD [PREFIX]" >&2; exit 2; }
[ $# -eq 2 ] || [ $# -eq 3 ] || usage
PREFIX=${3:-}
[[ $2 =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] || usage
D=$2
ISQL=${CONSOPUNTOS_ISQL:-isql-fb}
SCHEMA=$(cd "$(dirname "${BASH_SOURCE[0]}")/../db" && pwd)
mkdir -p "$1"
DIR=$(cd "$1" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/cpts-demo-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Latin-1 letters, as bytes.
a=$'\xe1' e=$'\xe9' i=$'\xed' o=$'\xf3' u=$'\xfa' n=$'\xf1' N=$'\xd1' c=$'\xe7'

MAIN="$DIR/srv/datos/DEMO/varnex.fdb"
server() { echo "$DIR/suc$1"; }
# RPCO_SERVIDOR holds the folder in ISO-8859-1, the databases' character set;
# on disk the folder's name is UTF-8, the file names of this platform.
srvq() { local s; s=$PREFIX$(server "$1" | iconv -f UTF-8 -t ISO-8859-1); echo "${s//\'/\'\'}"; }
branch_path() { echo "$(server "$1")\\datos\\$1\\varnex.fdb"; }
for code in 001 002 003 004; do
  s=$PREFIX$(server "$code")
  if [ ${#s} -gt 60 ]; then
    echo "$0: server folder '$s' is longer than RPCO_SERVIDOR (60 characters); use a shorter DIR" >&2
    exit 1
  fi
done

# create_db PATH SCHEMA DATA: a fresh database from the db/ scripts plus DATA.
create_db() {
  local path=$1 schema=$2 data=$3 script="$WORK/$RANDOM$RANDOM.sql"
  mkdir -p "$(dirname "$path")"
  rm -f "$path"
  local quoted=${path//\'/\'\'}
  {
    echo "SET SQL DIALECT 3;"
    echo "SET NAMES ISO8859_1;"
    echo "CREATE DATABASE '$quoted' USER 'SYSDBA' PASSWORD 'masterkey' PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;"
    echo "INPUT '$SCHEMA/schema_common.sql';"
    echo "INPUT '$SCHEMA/$schema';"
    echo "SET NAMES ISO8859_1;"
    printf '%s\n' "$data"
    echo "COMMIT;"
  } > "$script"
  # Through -i: isql-fb drops bytes above 127 from a script read on standard input.
  # A UTF-8 character type: the client library takes file names in it.
  LC_ALL=C.UTF-8 "$ISQL" -q -b -i "$script" > "$WORK/isql.log" 2>&1 || { cat "$WORK/isql.log" >&2; exit 1; }
}

# terceros NIT TIPO NOMBRE APELLIDOS DIRECCION TELEFONO EMAIL NACIMIENTO RETENCION CREADO:
# one TERCEROS insert; every value already in SQL form (NULL allowed).
terceros() {
  echo "INSERT INTO TERCEROS (TERC_NIT, TERC_TIPO, TERC_NOMBRE, TERC_APELLIDOS, TERC_DIRECCION, TERC_TELEFONO, TERC_EMAIL, TERC_FECHA_NAC, TERC_RETENCION, TERC_CREADO) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, ${10});"
}
# clientes NIT CATEGORIA CUPO DESCUENTO ZONA OBSERVACION ALTA
clientes() {
  echo "INSERT INTO CLIENTES (TERC_NIT, CLIE_CATEGORIA, CLIE_CUPO, CLIE_DESCUENTO, CLIE_ZONA, CLIE_OBSERVACION, CLIE_FECHA_ALTA) VALUES ($1, $2, $3, $4, $5, $6, $7);"
}
# audit NIT DATE-EXPRESSION OPER [TIDO]
audit() {
  echo "INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_HORA, AUDI_OPER, AUDI_USUARIO) VALUES (${4:-103}, $1, $2, TIME '10:00:00', '$3', 'CAJA');"
}
# movement NIT DATE-EXPRESSION POINTS EXPIRY-EXPRESSION DOCUMENT
movement() {
  echo "INSERT INTO MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA, MOPU_PUNTOS, MOPU_VENCE, MOPU_DOCUMENTO) VALUES ($1, $2, $3, $4, '$5');"
}

TD="DATE '$D'"
TS="TIMESTAMP '$D 09:30:00'"

# --- Main database -------------------------------------------------------------
main_data=$(cat <<EOF
INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'REPLICAR CAMBIOS EN ARTICULOS', 'SI');
INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS', 'SYSDBA');
INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS', 'masterkey');
INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'DIAS VENCIMIENTO PUNTOS', '365');
INSERT INTO CONFIGURACION VALUES ('CARTERA', 'CLIENTES', 'CUPO INICIAL', '500000');
INSERT INTO REPLICA_COMPANIA VALUES ('001', 'Norte', '$(srvq 001)', 'N');
INSERT INTO REPLICA_COMPANIA VALUES ('002', 'Centro', '$(srvq 002)', 'N');
INSERT INTO REPLICA_COMPANIA VALUES ('003', 'Sur', '$(srvq 003)', 'N');
INSERT INTO REPLICA_COMPANIA VALUES ('004', 'Occidente', '$(srvq 004)', 'S');
$(terceros "'800100200'" "'J'" "'Distribuidora Andina S.A.'" NULL "'Cra 7 # 12-40'" "'6015550100'" "'compras@andina.example'" NULL 2.5 "TIMESTAMP '2007-03-01 08:00:00'")
$(clientes "'800100200'" "'A'" 15000000 0.05 "'Centro'" NULL "TIMESTAMP '2007-03-01 08:00:00'")
$(audit "'800100200'" "DATE '2007-03-01'" I)
$(terceros "'M-5001'" "'N'" "'Jos${e} Mar${i}a'" "'Garc${i}a Le${o}n'" "'Calle 45 # 8-21'" NULL "'jmgarcia@correo.example'" "DATE '1985-07-14'" NULL "$TS")
$(clientes "'M-5001'" "'B'" 250000 0.015625 "'Norte'" "'Cliente creado en oficina principal'" "$TS")
$(audit "'M-5001'" "$TD" I)
$(terceros "'M-5002'" "'N'" "'Fran${c}oise'" "'Mu${n}oz'" NULL NULL NULL NULL NULL "$TS")
$(clientes "'M-5002'" "'A'" NULL NULL NULL NULL "$TS")
$(audit "'M-5002'" "$TD" I)
$(terceros "'M-4000'" "'N'" "'Creado ayer'" NULL NULL NULL NULL NULL NULL "$TS - 1")
$(clientes "'M-4000'" "'A'" 1000 NULL NULL NULL "$TS - 1")
$(audit "'M-4000'" "$TD - 1" I)
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('800100200', $TD - 1, 999.99, 9.99);
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('VIEJO-01', $TD - 30, 12, 0);
EOF
)

# --- Branch 001 Norte -----------------------------------------------------------
b001=$(cat <<EOF
$(terceros "'800100200'" "'J'" "'Distribuidora Andina S.A.'" NULL "'Cra 7 # 12-40'" "'6015550100'" "'compras@andina.example'" NULL 2.5 "TIMESTAMP '2007-03-01 08:00:00'")
$(clientes "'800100200'" "'A'" 15000000 0.05 "'Centro'" NULL "TIMESTAMP '2007-03-01 08:00:00'")
$(terceros "'80012345'" "'N'" "'Pe${n}a Mu${n}oz'" "'Ram${o}n'" "'Av. Bol${i}var 10-20'" NULL NULL "DATE '1978-02-28'" 3.75 "$TS")
$(clientes "'80012345'" "'A'" 1250000.5 NULL "'Norte'" "'Pag${o} con tarjeta; sin correo'" "$TS")
$(audit "'80012345'" "$TD" I)
$(terceros "'O''BRIEN-01'" "'N'" "'Se${a}n'" "'O''Brien'" NULL "'3105550199'" NULL NULL NULL "$TS")
$(clientes "'O''BRIEN-01'" "'C'" 0 0.123456 NULL NULL "$TS")
$(audit "'O''BRIEN-01'" "$TD" I)
$(terceros "'1015'" "'N'" "'Ana Luc${i}a'" "'P${e}rez'" "'Calle 1 # 1-1'" NULL NULL "DATE '1990-12-31'" NULL "$TS")
$(clientes "'1015'" "'B'" 300000 2.345678 "'Norte'" "'Creada primero en Norte'" "$TS")
$(audit "'1015'" "$TD" I)
$(terceros "'79000111'" "'N'" "'Creado anteayer'" NULL NULL NULL NULL NULL NULL "$TS - 2")
$(clientes "'79000111'" "'A'" 0 NULL NULL NULL "$TS - 2")
$(audit "'79000111'" "$TD - 2" I)
$(audit "'800100200'" "$TD" U)
$(movement "'80012345'" "$TD" 120.5 "$TD + 365" F001-1001)
$(movement "'80012345'" "$TD - 300" 40 "$TD + 10" F001-0400)
$(movement "'O''BRIEN-01'" "$TD" 15.75 "$TD + 20" F001-1002)
$(movement "'1015'" "$TD" 60 "$TD + 365" F001-1003)
$(movement "'800100200'" "$TD - 60" 500 "$TD + 300" F001-0900)
$(movement "'800100200'" "$TD" -200 NULL R001-0051)
$(movement "'800100200'" "$TD - 400" 80 "$TD - 35" F001-0100)
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('800100200', $TD - 1, 700, 0);
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('SOLO-NORTE', $TD - 1, 33.3, 3.3);
EOF
)

# --- Branch 002 Centro ----------------------------------------------------------
b002=$(cat <<EOF
$(terceros "'1015'" "'N'" "'Ana L.'" "'Perez'" NULL NULL NULL NULL NULL "$TS")
$(clientes "'1015'" "'A'" 100000 NULL "'Centro'" "'Creada despu${e}s en Centro'" "$TS")
$(audit "'1015'" "$TD" I)
$(terceros "'52123456'" "'N'" "'Mar${i}a Jos${e}'" "'${N}${u}${n}ez'" "'Diagonal 3 Sur # 4-5'" "'6045550123'" NULL "DATE '1969-05-06'" 1.5 "$TS")
$(clientes "'52123456'" "'B'" 800000.25 0.000001 "'Centro'" NULL "$TS")
$(audit "'52123456'" "$TD" I)
$(terceros "'M-5002'" "'N'" "'Francoise (local)'" NULL NULL NULL NULL NULL NULL "TIMESTAMP '2008-01-01 12:00:00'")
$(clientes "'M-5002'" "'C'" 5 NULL NULL NULL "TIMESTAMP '2008-01-01 12:00:00'")
$(audit "'M-5002'" "$TD - 200" I)
$(movement "'1015'" "$TD" 25.25 "$TD + 15" F002-2001)
$(movement "'52123456'" "$TD" 300 "$TD + 365" F002-2002)
$(movement "'52123456'" "$TD" -50 NULL R002-0007)
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('52123456', $TD - 1, 1, 1);
EOF
)

# --- Branch 003 Sur: points only, no new customers on the date ----------------
b003=$(cat <<EOF
$(terceros "'800100200'" "'J'" "'Distribuidora Andina S.A.'" NULL "'Cra 7 # 12-40'" "'6015550100'" "'compras@andina.example'" NULL 2.5 "TIMESTAMP '2007-03-01 08:00:00'")
$(clientes "'800100200'" "'A'" 15000000 0.05 "'Centro'" NULL "TIMESTAMP '2007-03-01 08:00:00'")
$(movement "'800100200'" "$TD - 5" 150 "$TD + 25" F003-0300)
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('800100200', $TD - 1, 150, 150);
INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('OTRO-SUR', NULL, NULL, NULL);
EOF
)

create_db "$MAIN" schema_main.sql "$main_data"
create_db "$(branch_path 001)" schema_branch.sql "$b001"
create_db "$(branch_path 002)" schema_branch.sql "$b002"
create_db "$(branch_path 003)" schema_branch.sql "$b003"
rm -f "$(branch_path 004)"

echo "server folder: $DIR/srv"
echo "company:       DEMO"
echo "main:          $MAIN"
for code in 001 002 003; do echo "branch $code:    $(branch_path "$code")"; done
echo "branch 004:    $(branch_path 004) (not created)"
echo "user/password: SYSDBA / masterkey; transmission date $D"
