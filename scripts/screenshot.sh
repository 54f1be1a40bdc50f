#!/usr/bin/env bash
# Takes a picture of the main window, connected to a demo company and ready
# for F5, on a private X server: screenshot.sh [BINARY [OUT.png]]
# Defaults: build/app/consopuntos (built if missing) and docs/window.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/app/consopuntos}
out=${2:-$root/docs/window.png}
if [ ! -x "$bin" ]; then bash "$root/scripts/build.sh" "$root/build"; fi
for tool in Xvfb xdotool import; do
  command -v $tool > /dev/null || { echo "$0: $tool is missing; run scripts/setup.sh" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

# The helpers of the end-to-end tests: demo company, Xvfb, keys.
# shellcheck source=tests/e2e/lib.sh
source "$root/tests/e2e/lib.sh" "$bin" "$root"
set -e
dir="$E2E_TMP/shot"
e2e_company "$dir" "$(date +%F)"
e2e_xvfb
e2e_start "$dir" C.UTF-8
win=$(e2e_window "^Consolidaci.+n puntos clientes$" 20) || { cat "$dir/program.log"; echo "$0: no window" >&2; exit 1; }

# User, password and company; Enter in the company field connects.
e2e_keys "$win" Return
e2e_type "$win" SYSDBA
e2e_keys "$win" Return
e2e_type "$win" masterkey
e2e_keys "$win" Return
e2e_type "$win" DEMO
e2e_keys "$win" Return
main=$(e2e_main_db "$dir")
for ((i = 0; i < 150; i++)); do
  find "/proc/$E2E_PID/fd" -lname "$main" 2> /dev/null | grep -q . && break
  sleep 0.1
done
sleep 1  # the window repaints after the connection

import -window "$win" "$out"
echo "window picture: $out"
e2e_keys "$win" Escape
e2e_wait_exit "$E2E_PID" 10 || e2e_stop "$E2E_PID"
