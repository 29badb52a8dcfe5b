#!/usr/bin/env bash
# A private Firebird 3 server for the tests: its own root, security database,
# lock folder and loopback port, so it never touches the system's server.
#   fbserver.sh start DIR PORT PASSWORD   -> starts it, prints its PID, writes DIR/pid
#   fbserver.sh stop DIR                  -> stops it by that PID
#   fbserver.sh restart DIR               -> stops and starts it again with the same settings
set -euo pipefail

pkgroot=/usr/lib/x86_64-linux-gnu/firebird/3.0
[ -d "$pkgroot" ] || pkgroot=$(dirname "$(dpkg -L firebird3.0-server-core | grep '/plugins/libEngine12.so$')")/..
secdb_src=/var/lib/firebird/3.0/system/security3.fdb

wait_port() { # port, seconds
  for _ in $(seq 1 $(( $2 * 10 ))); do
    if (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

launch() { # dir
  local dir=$1 port
  port=$(cat "$dir/port")
  FIREBIRD=$dir/root FIREBIRD_LOCK=$dir/lock/ FIREBIRD_TMP=$dir/tmp \
    setsid /usr/sbin/firebird >"$dir/server.log" 2>&1 < /dev/null &
  echo $! >"$dir/pid"
  if ! wait_port "$port" 20; then
    echo "firebird did not open port $port; see $dir/server.log" >&2
    cat "$dir/server.log" >&2 || true
    return 1
  fi
  cat "$dir/pid"
}

stop() { # dir
  local dir=$1 pid
  [ -f "$dir/pid" ] || return 0
  pid=$(cat "$dir/pid")
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/pid"
}

case "${1:-}" in
start)
  dir=$(realpath -m "$2") port=$3 password=$4
  stop "$dir"
  mkdir -p "$dir/root" "$dir/lock" "$dir/tmp" "$dir/data"
  for f in firebird.msg intl plugins lib plugins.conf fbtrace.conf; do
    ln -sfn "$pkgroot/$f" "$dir/root/$f"
  done
  cp "$secdb_src" "$dir/security3.fdb"
  chmod 600 "$dir/security3.fdb"
  cat >"$dir/root/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
DatabaseAccess = Full
UdfAccess = None
CONF
  : >"$dir/root/databases.conf"
  echo "$port" >"$dir/port"
  # Set SYSDBA's password in the private copy through the embedded engine.
  printf "alter user SYSDBA password '%s';\ncommit;\n" "$password" |
    FIREBIRD=$dir/root FIREBIRD_LOCK=$dir/lock/ FIREBIRD_TMP=$dir/tmp \
      isql-fb -q -user SYSDBA "$dir/security3.fdb" >"$dir/setpw.log" 2>&1 ||
    { cat "$dir/setpw.log" >&2; exit 1; }
  launch "$dir"
  ;;
restart)
  dir=$(realpath -m "$2")
  stop "$dir"
  launch "$dir"
  ;;
stop)
  stop "$(realpath -m "$2")"
  ;;
*)
  echo "usage: $0 start DIR PORT PASSWORD | stop DIR | restart DIR" >&2
  exit 2
  ;;
esac
