#!/usr/bin/env bash
# A private Firebird 3 server on 127.0.0.1 for the network tests.
#   fbserver.sh start DIR   configure under DIR, start, wait for the port
#   fbserver.sh stop DIR    stop the server started under DIR (SIGTERM, then SIGKILL)
# Everything lives under DIR: configuration, security database, lock files,
# databases, the PID and the server's output. Port: FBSERVER_PORT or 3055.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
if [[ -z $cmd || -z $dir ]]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
port=${FBSERVER_PORT:-3055}

find_server() {
  local candidate
  for candidate in /usr/sbin/firebird /usr/lib/x86_64-linux-gnu/firebird/3.0/bin/firebird /opt/firebird/bin/firebird; do
    if [[ -x $candidate ]]; then
      echo "$candidate"
      return 0
    fi
  done
  command -v firebird || return 1
}

port_open() {
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null
}

stop_server() {
  local pidfile="$dir/firebird.pid" pid i
  [[ -f $pidfile ]] || return 0
  pid=$(cat "$pidfile")
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 50; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$pidfile"
}

case $cmd in
  start)
    server=$(find_server) || { echo "firebird server binary not found" >&2; exit 1; }
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    stop_server
    if port_open; then
      echo "port $port on 127.0.0.1 is already in use" >&2
      exit 1
    fi
    root="$dir/root"
    rm -rf "$root" "$dir/lock" "$dir/db"
    mkdir -p "$root" "$dir/lock" "$dir/db"
    cp /etc/firebird/3.0/firebird.conf /etc/firebird/3.0/plugins.conf "$root/"
    lib=/usr/lib/x86_64-linux-gnu/firebird/3.0
    [[ -f $lib/firebird.msg ]] && cp "$lib/firebird.msg" "$root/"
    # The character sets (ISO8859_1 and the rest): fbintl.conf names the
    # module $(root)/intl/fbintl, which must be a file there (the loader
    # resolves a symbolic link to a name the character sets are not known by).
    mkdir -p "$root/intl"
    cp "$lib/intl/libfbintl.so" "$root/intl/"
    cat >>"$root/firebird.conf" <<EOF

# Private test server
RemoteBindAddress = 127.0.0.1
RemoteServicePort = $port
SecurityDatabase = $dir/security3.fdb
GuardianOption = 0
EOF
    cat >"$root/databases.conf" <<EOF
security.db = $dir/security3.fdb
{
	RemoteAccess = false
}
EOF
    export FIREBIRD="$root" FIREBIRD_LOCK="$dir/lock" FIREBIRD_TMP="$dir/lock"
    # A fresh security database with SYSDBA/masterkey, made in embedded mode.
    rm -f "$dir/security3.fdb"
    if [[ -r /var/lib/firebird/3.0/system/security3.fdb ]]; then
      cp /var/lib/firebird/3.0/system/security3.fdb "$dir/security3.fdb"
    else
      echo "create database '$dir/security3.fdb';" | isql-fb -q -user SYSDBA >/dev/null
    fi
    echo "create or alter user SYSDBA password 'masterkey' using plugin Srp; commit;" |
      isql-fb -q -user SYSDBA "$dir/security3.fdb" >"$dir/isql.log" 2>&1 || {
      cat "$dir/isql.log" >&2
      exit 1
    }
    # -m: one process serves every connection (SuperServer).
    # A UTF-8 character type: the server takes file names in it.
    LC_ALL=C.UTF-8 setsid "$server" -m >"$dir/firebird.out" 2>&1 </dev/null &
    echo $! >"$dir/firebird.pid"
    for ((i = 0; i < 150; i++)); do
      if port_open; then
        echo "firebird listening on 127.0.0.1:$port (pid $(cat "$dir/firebird.pid"))"
        exit 0
      fi
      if ! kill -0 "$(cat "$dir/firebird.pid")" 2>/dev/null; then
        echo "firebird exited early:" >&2
        cat "$dir/firebird.out" >&2
        exit 1
      fi
      sleep 0.1
    done
    echo "firebird did not open port $port within 15 s" >&2
    stop_server
    exit 1
    ;;
  stop)
    [[ -d $dir ]] || exit 0
    stop_server
    ;;
  *)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
