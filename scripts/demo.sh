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
# The setting file is UTF-8 text; SERVIDORES.cfg and the command line carry
# text in ISO-8859-1, the program's character set.
latin1() { printf '%s' "$1" | iconv -f UTF-8 -t ISO-8859-1; }
printf 'Directorio=%s\n' "$demo/app" > "$demo/xdg/Quenda/Varnex2009.conf"
printf '%s\r\n' "$(latin1 "$demo/srv")" > "$demo/app/SERVIDORES.cfg"

# Unattended: folder, user, password, company, five fillers, trigger, date.
# The date is given in the short date form of the C locale (m/d/yy).
corta=$(date -d "$fecha" +%-m/%-d/%y)
cd "$demo"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
if [ -z "${DISPLAY:-}" ]; then export QT_QPA_PLATFORM=offscreen; fi
echo "== Running: consopuntos $demo/srv SYSDBA ***** DEMO x x x x x S $corta"
XDG_CONFIG_DIRS="$demo/xdg" LC_ALL=C.UTF-8 timeout 300 \
  "$root/build/app/consopuntos" "$(latin1 "$demo/srv")" SYSDBA masterkey DEMO x x x x x S "$corta"
echo "== Run finished"
bash "$root/scripts/show_demo.sh" "$demo"
