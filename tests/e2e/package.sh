#!/usr/bin/env bash
# The Debian package, as a packager and a new user meet it: a Release build
# with the default options from a clean copy of the tree, the package target,
# lintian, the installed files (the manual page in English and Spanish, the
# systemd units that systemd-analyze accepts, the crontab line), dependencies
# that resolve, and the installed program running the demo company unattended.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh" "$@"

SRC="$E2E_TMP/src"
BUILD="$E2E_TMP/build"
STAGE="$E2E_TMP/stage"

e2e_step "a clean copy of the tree"
mkdir -p "$SRC"
if git -C "$E2E_SRC" rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  # Tracked and new files as they are now; nothing ignored (build folders).
  (cd "$E2E_SRC" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$SRC" 2>/dev/null)
else
  (cd "$E2E_SRC" && tar --exclude='./build*' --exclude=./demo -cf - .) | (cd "$SRC" && tar -xf -)
fi
[ -f "$SRC/CMakeLists.txt" ] || { echo "FAIL: copy of the tree"; exit 1; }

e2e_step "Release build with the default options, then the package target"
# Default options: warnings are not errors here, as for any packager.
if ! { cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCONSOPUNTOS_TESTS=OFF &&
  cmake --build "$BUILD" -j"$(nproc)" && cmake --build "$BUILD" --target package; } > "$E2E_TMP/build.log" 2>&1; then
  tail -40 "$E2E_TMP/build.log"
  echo "FAIL: build or package"
  exit 1
fi
deb=$(ls "$BUILD"/consopuntos_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: no consopuntos_*.deb in $BUILD"; exit 1; }
version=$(sed -n 's/^project(consopuntos VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
e2e_check "package file name carries the project's version" "consopuntos_${version}_amd64.deb" "$(basename "$deb")"

e2e_step "metadata and lintian"
field() { dpkg-deb -f "$deb" "$1"; }
e2e_check "Package" consopuntos "$(field Package)"
e2e_check "Version" "$version" "$(field Version)"
[ -n "$(field Maintainer)" ] || e2e_fail "no Maintainer"
[ -n "$(field Section)" ] || e2e_fail "no Section"
field Description | grep "sucursales" > /dev/null || e2e_fail "no Spanish description"
field Description | grep "branches" > /dev/null || e2e_fail "no English description"
# Computed from the binary: the client library and the toolkit are there.
for lib in libfbclient2 libqt6widgets6 libc6; do
  field Depends | grep "$lib" > /dev/null || e2e_fail "Depends lacks $lib: $(field Depends)"
done
if command -v lintian > /dev/null; then
  lintian --fail-on error "$deb" > "$E2E_TMP/lintian.log" 2>&1 ||
    { e2e_fail "lintian reports errors"; sed 's/^/   | /' "$E2E_TMP/lintian.log"; }
else
  e2e_fail "lintian is not installed (scripts/setup.sh installs it)"
fi

e2e_step "the installed files"
dpkg-deb -x "$deb" "$STAGE"
EXAMPLES=usr/share/doc/consopuntos/examples
for f in usr/bin/consopuntos usr/share/applications/consopuntos.desktop usr/share/man/man1/consopuntos.1.gz \
  usr/share/man/es/man1/consopuntos.1.gz usr/share/doc/consopuntos/copyright usr/share/doc/consopuntos/changelog.gz \
  $EXAMPLES/Varnex2009.conf "$EXAMPLES/consopuntos@.service" "$EXAMPLES/consopuntos@.timer" \
  $EXAMPLES/consopuntos.env $EXAMPLES/consopuntos.cron; do
  [ -f "$STAGE/$f" ] || e2e_fail "missing /$f"
done
[ -d "$STAGE/var/lib/consopuntos" ] || e2e_fail "missing /var/lib/consopuntos, the cron example's working directory"
for size in 16 32 48 256; do
  png="$STAGE/usr/share/icons/hicolor/${size}x${size}/apps/consopuntos.png"
  if [ -f "$png" ]; then
    file "$png" | grep "PNG image data, $size x $size" > /dev/null || e2e_fail "icon $size is not a $size x $size PNG"
  else
    e2e_fail "missing icon ${size}x${size}"
  fi
done
[ -z "$(find "$STAGE" -path "$STAGE/etc*" -print -quit)" ] || e2e_fail "the package installs into /etc"
desktop="$STAGE/usr/share/applications/consopuntos.desktop"
grep -qx 'Terminal=false' "$desktop" || e2e_fail "desktop entry: Terminal=false"
grep -qx 'Icon=consopuntos' "$desktop" || e2e_fail "desktop entry: Icon"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$desktop" || e2e_fail "desktop-file-validate"
fi
for page in man1 es/man1; do
  text=$(LC_ALL=C.UTF-8 man -l "$STAGE/usr/share/man/$page/consopuntos.1.gz" 2>/dev/null)
  for word in ERRORENVPTOS.TXT TRANSMISIONES.TXT "consopuntos@.service" "OnCalendar=" "timeout 2h" 128+n ayer \
    EsperaConexion; do
    grep -qF -- "$word" <<< "$text" || e2e_fail "the manual page $page does not render or lacks $word"
  done
  grep -q '\\datos\\' <<< "$text" || e2e_fail "the manual page $page lacks the branch path with single backslashes"
  grep -qF '\\' <<< "$text" && e2e_fail "the manual page $page renders a doubled backslash"
done
LC_ALL=C.UTF-8 man -l "$STAGE/usr/share/man/es/man1/consopuntos.1.gz" 2>/dev/null | grep "ESTADO DE SALIDA" > /dev/null ||
  e2e_fail "the manual page es/man1 is not the Spanish one"

e2e_step "the systemd units and the crontab line"
if command -v systemd-analyze > /dev/null; then
  # The units as shipped, their program the one of the package (nothing is
  # installed into the system, and no systemd runs).
  mkdir -p "$E2E_TMP/units"
  sed "s|/usr/bin/consopuntos|$STAGE/usr/bin/consopuntos|" "$STAGE/$EXAMPLES/consopuntos@.service" \
    > "$E2E_TMP/units/consopuntos@.service"
  cp "$STAGE/$EXAMPLES/consopuntos@.timer" "$E2E_TMP/units/"
  if ! out=$(systemd-analyze verify --man=no "$E2E_TMP/units/consopuntos@.service" "$E2E_TMP/units/consopuntos@.timer" 2>&1) ||
    [ -n "$out" ]; then
    e2e_fail "systemd-analyze verify does not accept the units"
    printf '%s\n' "$out" | sed 's/^/   | /'
  fi
  grep -q '^TimeoutStartSec=' "$STAGE/$EXAMPLES/consopuntos@.service" || e2e_fail "the service has no TimeoutStartSec"
  grep -q '^EnvironmentFile=' "$STAGE/$EXAMPLES/consopuntos@.service" || e2e_fail "the service has no EnvironmentFile"
else
  e2e_fail "systemd-analyze is not installed (scripts/setup.sh installs systemd)"
fi
# The crontab line: five time fields, a user, and the program with its ten
# arguments and yesterday's date; LANG set for it.
cron=$(grep -v '^#' "$STAGE/$EXAMPLES/consopuntos.cron" | grep . | grep -v '^[A-Z_]*=')
e2e_check "one line in the crontab example" 1 "$(printf '%s\n' "$cron" | wc -l)"
[[ $cron =~ ^[0-9*,/-]+\ [0-9*,/-]+\ [0-9*,/-]+\ [0-9*,/-]+\ [0-9*,/-]+\ root\ .*/usr/bin/consopuntos(\ [^ ]+){10}\ ayer$ ]] ||
  e2e_fail "the crontab line is not a /etc/cron.d line running consopuntos with ten arguments and ayer: $cron"
grep -qx 'LANG=C.UTF-8' "$STAGE/$EXAMPLES/consopuntos.cron" || e2e_fail "the crontab example sets no LANG"
grep -qx 'Environment=LANG=C.UTF-8' "$STAGE/$EXAMPLES/consopuntos@.service" || e2e_fail "the service sets no LANG"
grep -qx 'FECHA=ayer' "$STAGE/$EXAMPLES/consopuntos.env" || e2e_fail "the environment example does not run for yesterday"

e2e_step "dependencies resolve"
if [ -n "$(ls /var/lib/apt/lists/ 2>/dev/null | grep -v lock)" ]; then
  apt-get install -s "$deb" > "$E2E_TMP/apt.log" 2>&1 ||
    { e2e_fail "apt-get cannot install the package"; tail -20 "$E2E_TMP/apt.log" | sed 's/^/   | /'; }
else
  echo "   (no apt package lists here: resolution not checked)"
fi

e2e_step "the installed program runs the demo company unattended"
E2E_BIN="$STAGE/usr/bin/consopuntos"
D="$E2E_TMP/demo"
e2e_company "$D" 2008-12-01
if e2e_run_unattended "$D" C.UTF-8 60 3 "$D/srv" SYSDBA masterkey DEMO x x x x x S 12/1/08; then
  e2e_check_demo_run "$D" "installed program" 003
  e2e_check "one line per walk for the branch without a database" 2 \
    "$(tr -d '\r' < "$D/app/ERRORENVPTOS.TXT" | wc -l)"
  e2e_check "one line in the history" "completa con sucursales sin abrir" \
    "$(e2e_history "$D/app/TRANSMISIONES.TXT" | cut -d, -f6)"
fi

e2e_finish
