#!/usr/bin/env bash
# Unattended runs of the real program on the demo company:
#   (a) ten arguments: the run takes today's date;
#   (b) eleven arguments, C locale (m/d/yy), some spelled like the toolkit's
#       options: every table of every database afterwards, against what the
#       demo data says the run must do;
#   (c) the same with a day-first, comma-decimal locale (es_CO, dd/mm/yy);
#   (d) a company under a folder with an accent, named in ISO-8859-1 by
#       SERVIDORES.cfg, REPLICA_COMPANIA and the command line; then on the
#       command line in UTF-8, as a terminal, crontab or unit in a UTF-8
#       locale writes it, and in ISO-8859-1 bytes in that locale too.
# Every run ends with 3 (branch 004 has no database), says why on standard
# error, and leaves one line in TRANSMISIONES.TXT.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

PCA=PUNTOS_CLIENTE_ACUMULADO
e1=$'\xe9' i1=$'\xed' o1=$'\xf3' n1=$'\xf1' c1=$'\xe7'

# check_branch_log DIR FECHA-TEXT TODAY-TEXT: the two lines of branch 004, which has
# no database: first walk, then second walk, both with the transmission date.
check_branch_log() {
  local dir=$1 fecha=$2 hoy=$3 file="$1/app/ERRORENVPTOS.TXT"
  if [ ! -f "$file" ]; then
    e2e_fail "no ERRORENVPTOS.TXT in the application directory"
    return
  fi
  e2e_check "ERRORENVPTOS.TXT ends every line with CR LF" 0 "$(grep -vc $'\r$' "$file")"
  local lines
  lines=$(tr -d '\r' < "$file")
  e2e_check "ERRORENVPTOS.TXT has two lines" 2 "$(printf '%s\n' "$lines" | wc -l)"
  local label n=0 line
  for label in "Trayendo puntos" "Enviando consolidado"; do
    n=$((n + 1))
    line=$(printf '%s\n' "$lines" | sed -n "${n}p")
    IFS=, read -r c1_ c2_ c3_ c4_ c5_ extra <<< "$line"
    e2e_check "branch log line $n: date of the failure" "$hoy" "$c1_"
    [[ $c2_ =~ ^[0-9]{1,2}:[0-9]{2}:[0-9]{2} ]] || e2e_fail "branch log line $n: time text '$c2_'"
    e2e_check "branch log line $n: branch folder" "$dir/suc004\\datos\\004" "$c3_"
    e2e_check "branch log line $n: pass label" "$label" "$c4_"
    e2e_check "branch log line $n: transmission date" "$fecha" "$c5_"
    e2e_check "branch log line $n: five columns" "" "$extra"
  done
}

# ---- (a) ten arguments: today ------------------------------------------------------
e2e_step "(a) ten arguments, today's date"
today=$(date +%F)
A="$E2E_TMP/a"
B="$E2E_TMP/b"
# Both companies at once: creating databases mostly waits for the disk.
e2e_company "$B" 2008-12-01 &
building_b=$!
e2e_company "$A" "$today"
e2e_run_unattended "$A" C.UTF-8 60 3 "$A/srv" SYSDBA masterkey DEMO x x x x x S
hoy_c=$(date +%-m/%-d/%y)
check_branch_log "$A" "$hoy_c" "$hoy_c"
[ -e "$A/ERRORES.TXT" ] && e2e_fail "(a) ERRORES.TXT written: $(cat -v "$A/ERRORES.TXT")"

e2e_dump "$(e2e_main_db "$A")" > "$A/main.after"
main_pca=$(e2e_rows "$A/main.after" $PCA)
[ "$(printf '%s\n' "$main_pca" | grep -c "|$today|")" -eq 5 ] ||
  e2e_fail "(a) main accumulated table is not the five customers of today: $main_pca"
for key in 80012345 "O'BRIEN-01" 1015 52123456; do
  for table in TERCEROS CLIENTES; do
    [ -n "$(e2e_rows "$A/main.after" $table "$key")" ] || e2e_fail "(a) $table $key did not reach the main database"
  done
done
for code in 001 002 003; do
  e2e_dump "$(e2e_branch_db "$A" $code)" > "$A/$code.after"
  e2e_check "(a) accumulated table of branch $code equals the main one" "$main_pca" "$(e2e_rows "$A/$code.after" $PCA)"
  for key in M-5001 M-5002; do
    for table in TERCEROS CLIENTES; do
      [ -n "$(e2e_rows "$A/$code.after" $table "$key")" ] || e2e_fail "(a) $table $key did not reach branch $code"
    done
  done
done

# ---- (b) and (c): 1 December 2008 ------------------------------------------------------
wait $building_b || exit 1
for db in main 001 002 003; do
  if [ $db = main ]; then path=$(e2e_main_db "$B"); else path=$(e2e_branch_db "$B" $db); fi
  e2e_dump "$path" > "$B.before.$db"
done

# The accumulated table that the run builds: the three branches' summaries of
# 2008-12-01 added up by ACTUALIZA_PUNTOS_ACUMULADOS (see make_demo.sh).
expected_pca() {
  cat <<EOF
$PCA|1015|2008-12-01|85.25|25.25
$PCA|52123456|2008-12-01|250.00|0.00
$PCA|800100200|2008-12-01|450.00|150.00
$PCA|80012345|2008-12-01|160.50|40.00
$PCA|O'BRIEN-01|2008-12-01|15.75|15.75
EOF
}

# customers DUMP KEY...: the TERCEROS and CLIENTES lines of the keys.
customers() {
  local file=$1
  shift
  e2e_rows "$file" TERCEROS "$@"
  e2e_rows "$file" CLIENTES "$@"
}

# Expected contents, from the dumps taken before the run:
# - main: the accumulated table replaced; the customers that branches 001
#   (80012345, O'BRIEN-01, 1015) and 002 (52123456) audited as inserted on the
#   date added exactly as the branch holds them; 1015 comes from 001, the first
#   branch that has it; 79000111 (other date) and 800100200 ('U') stay out;
# - every branch: the main accumulated table; M-5001 and M-5002 added where
#   missing (002 keeps its own, different M-5002); M-4000 (other date) stays out;
# - every other table unchanged.
{
  grep -v "^$PCA|" "$B.before.main"
  expected_pca
  customers "$B.before.001" 80012345 "O'BRIEN-01" 1015
  customers "$B.before.002" 52123456
} | LC_ALL=C sort > "$B.expected.main"
for code in 001 002 003; do
  {
    grep -v "^$PCA|" "$B.before.$code"
    expected_pca
    if [ $code = 002 ]; then customers "$B.before.main" M-5001; else customers "$B.before.main" M-5001 M-5002; fi
  } | LC_ALL=C sort > "$B.expected.$code"
done

# check_result LABEL: the databases of B against the expectations above, and a
# few rows spelled out.
check_result() {
  local label=$1 db path
  for db in main 001 002 003; do
    if [ $db = main ]; then path=$(e2e_main_db "$B"); else path=$(e2e_branch_db "$B" $db); fi
    e2e_dump "$path" > "$B.after.$db"
    e2e_check_file "$label: every table of the $db database" "$B.expected.$db" "$B.after.$db"
  done
  e2e_check "$label: key with a single quote, exact NUMERIC(18,6), NULLs kept" \
    "CLIENTES|O'BRIEN-01|C|0.00|0.123456|<null>|<null>|2008-12-01 09:30:00.0000" \
    "$(e2e_rows "$B.after.main" CLIENTES "O'BRIEN-01")"
  e2e_check "$label: NULL discount stays NULL, Latin-1 observation intact" \
    "CLIENTES|80012345|A|1250000.50|<null>|Norte|Pag${o1} con tarjeta; sin correo|2008-12-01 09:30:00.0000" \
    "$(e2e_rows "$B.after.main" CLIENTES 80012345)"
  e2e_check "$label: Latin-1 names byte for byte" \
    "TERCEROS|80012345|N|Pe${n1}a Mu${n1}oz|Ram${o1}n|Av. Bol${i1}var 10-20|<null>|<null>|1978-02-28|3.75|2008-12-01 09:30:00.0000" \
    "$(e2e_rows "$B.after.main" TERCEROS 80012345)"
  e2e_check "$label: 1015 comes from the first branch listed" \
    "TERCEROS|1015|N|Ana Luc${i1}a|P${e1}rez|Calle 1 # 1-1|<null>|<null>|1990-12-31|<null>|2008-12-01 09:30:00.0000" \
    "$(e2e_rows "$B.after.main" TERCEROS 1015)"
  e2e_check "$label: a main customer reaches branch 003 with every NULL kept" \
    "TERCEROS|M-5002|N|Fran${c1}oise|Mu${n1}oz|<null>|<null>|<null>|<null>|<null>|2008-12-01 09:30:00.0000
CLIENTES|M-5002|A|<null>|<null>|<null>|<null>|2008-12-01 09:30:00.0000" \
    "$(customers "$B.after.003" M-5002)"
  e2e_check "$label: branch 002 keeps its own, different M-5002" \
    "TERCEROS|M-5002|N|Francoise (local)|<null>|<null>|<null>|<null>|<null>|<null>|2008-01-01 12:00:00.0000" \
    "$(e2e_rows "$B.after.002" TERCEROS M-5002)"
  e2e_check "$label: customers of other dates or updates not copied" "" \
    "$(e2e_rows "$B.after.main" TERCEROS 79000111; e2e_rows "$B.after.001" TERCEROS M-4000)"
  [ -e "$B/ERRORES.TXT" ] && e2e_fail "$label: ERRORES.TXT written: $(cat -v "$B/ERRORES.TXT")"
}

e2e_step "(b) eleven arguments, C locale, 12/1/08"
# Arguments spelled like the toolkit's options belong to the program: a
# password "-platform" and fillers "-reverse", "-style" (the embedded engine
# takes any password).
e2e_run_unattended "$B" C.UTF-8 60 3 "$B/srv" SYSDBA -platform DEMO -reverse -style x -geometry 1x1 S 12/1/08
check_result "(b)"
check_branch_log "$B" 12/1/08 "$(date +%-m/%-d/%y)"

e2e_step "(c) eleven arguments, es_CO locale, 01/12/08"
if ! locale -a 2>/dev/null | grep -i '^es_CO\.utf8$' > /dev/null; then
  e2e_fail "(c) locale es_CO.UTF-8 is missing (scripts/setup.sh generates it)"
else
  e2e_restore "$B"
  e2e_run_unattended "$B" es_CO.UTF-8 60 3 "$B/srv" SYSDBA masterkey DEMO x x x x x S 01/12/08
  check_result "(c)"
  check_branch_log "$B" 01/12/08 "$(date +%d/%m/%y)"
fi

# ---- (d) a server folder with an accent ---------------------------------------------
e2e_step "(d) the company under a folder with an accent, from SERVIDORES.cfg and the command line"
# "Peñalosa": UTF-8 on disk; SERVIDORES.cfg, REPLICA_COMPANIA and the
# command line carry it in ISO-8859-1.
D="$E2E_TMP/Pe"$'\xc3\xb1'"alosa"
e2e_company "$D" 2008-12-01
e2e_check "(d) SERVIDORES.cfg is ISO-8859-1" "$(e2e_latin1 "$D/srv")"$'\r' "$(cat "$D/app/SERVIDORES.cfg")"
# check_accented_run LABEL: what a run of D leaves: the run done, the failure
# log and the history in UTF-8 naming the folders as they are on disk, the
# reason for branch 004 on standard error.
check_accented_run() {
  e2e_check_demo_run "$D" "$1" 002
  # The failure log is UTF-8 and names the missing folder as it is on disk.
  if iconv -f UTF-8 -t UTF-8 "$D/app/ERRORENVPTOS.TXT" > /dev/null 2>&1; then
    e2e_check "$1 ERRORENVPTOS.TXT names the folder" "$D/suc004\\datos\\004" \
      "$(head -1 "$D/app/ERRORENVPTOS.TXT" | cut -d, -f3)"
  else
    e2e_fail "$1 ERRORENVPTOS.TXT is not UTF-8: $(cat -v "$D/app/ERRORENVPTOS.TXT")"
  fi
  e2e_check "$1 one history line: folder, company, result" "$D/srv,DEMO,completa con sucursales sin abrir" \
    "$(e2e_history "$D/app/TRANSMISIONES.TXT" | cut -d, -f3,4,6)"
  e2e_check "$1 a line on standard error for 004 in each walk" 2 \
    "$(grep -cF "consopuntos: No se abri"$'\xc3\xb3'" la sucursal $D/suc004\\datos\\004 (" "$D/program.log")"
}

# The C locale, as cron gives it: the program makes its character type UTF-8.
# Its character set is ASCII, so the 8-bit bytes stay as they are.
if e2e_run_unattended "$D" C 60 3 "$(e2e_latin1 "$D/srv")" SYSDBA masterkey DEMO x x x x x S 12/1/08; then
  check_accented_run "(d) ISO-8859-1, C locale:"
fi

e2e_step "(d) the folder in UTF-8 on the command line, UTF-8 locale"
e2e_restore "$D"
: > "$D/program.log"
if e2e_run_unattended "$D" C.UTF-8 60 3 "$D/srv" SYSDBA masterkey DEMO x x x x x S 12/1/08; then
  check_accented_run "(d) UTF-8:"
fi

e2e_step "(d) the folder in ISO-8859-1 bytes, UTF-8 locale (not UTF-8: taken as they are)"
e2e_restore "$D"
: > "$D/program.log"
if e2e_run_unattended "$D" C.UTF-8 60 3 "$(e2e_latin1 "$D/srv")" SYSDBA masterkey DEMO x x x x x S 12/1/08; then
  check_accented_run "(d) ISO-8859-1, UTF-8 locale:"
fi

e2e_finish
