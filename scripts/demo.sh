#!/usr/bin/env bash
# The main job: installs, builds, creates the demo company (a main database and
# its branches, one of them missing), runs the program unattended for the demo
# date, and prints what the run did.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fecha=${DEMO_DATE:-2008-12-01}
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"

demo="$root/demo"
rm -rf "$demo"
bash "$root/scripts/make_demo.sh" "$demo" "$fecha"

# The application directory setting and the server list.
mkdir -p "$demo/xdg/Quenda" "$demo/app"
# The setting file is UTF-8 text; SERVIDORES.cfg carries text in ISO-8859-1,
# the program's character set.
latin1() { printf '%s' "$1" | iconv -f UTF-8 -t ISO-8859-1; }
printf 'Directorio=%s\n' "$demo/app" > "$demo/xdg/Quenda/Varnex2009.conf"
printf '%s\r\n' "$(latin1 "$demo/srv")" > "$demo/app/SERVIDORES.cfg"

# Unattended: folder, user, password, company, five fillers, trigger, date
# (YYYY-MM-DD). The arguments are UTF-8, as in a terminal; without a display
# the program runs offscreen by itself.
cd "$demo"
echo "== Running: consopuntos $demo/srv SYSDBA ***** DEMO x x x x x S $fecha"
status=0
XDG_CONFIG_DIRS="$demo/xdg" LC_ALL=C.UTF-8 timeout 300 \
  "$root/build/app/consopuntos" "$demo/srv" SYSDBA masterkey DEMO x x x x x S "$fecha" || status=$?
case $status in
  0) meaning="every branch opened" ;;
  3) meaning="a branch did not open: branch 004 of the demo has no database" ;;
  *) meaning="the run did not complete" ;;
esac
echo "== Run finished: exit status $status ($meaning)"
bash "$root/scripts/show_demo.sh" "$demo"
[ "$status" -eq 0 ] || [ "$status" -eq 3 ]
