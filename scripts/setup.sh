#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent, non-interactive.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
PKGS=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev
  libfbclient2 firebird-dev firebird3.0-server-core firebird3.0-utils firebird3.0-server
  qt6-base-dev qt6-base-dev-tools libgl-dev
  xvfb xdotool x11-apps imagemagick fonts-dejavu-core locales time
  dpkg-dev lintian desktop-file-utils
  python3  # the history test reads TRANSMISIONES.TXT with Python's csv module
  systemd  # systemd-analyze, for the package test's check of the shipped units (no service is started)
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # The server package starts a system service on install; the project never relies on it.
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d; chmod +x /usr/sbin/policy-rc.d
  apt-get update -q
  echo "firebird3.0-server shared/firebird/enabled boolean false" | debconf-set-selections || true
  echo "firebird3.0-server shared/firebird/sysdba_password/new_password password masterkey" | debconf-set-selections || true
  apt-get install -y -q --no-install-recommends "${missing[@]}"
  rm -f /usr/sbin/policy-rc.d
fi

# A day-first, comma-decimal locale for the tests of the text forms.
if ! locale -a 2>/dev/null | grep -qi '^es_CO\.utf8$'; then
  localedef -i es_CO -f UTF-8 es_CO.UTF-8
fi
