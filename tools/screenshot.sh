#!/usr/bin/env bash
# Takes docs/screenshot.png of the statement window. Builds nothing: give it a build folder in
# which Prg_Tavolix is built. The program runs from a copy in a scratch folder, with a
# database.txt beside it naming an embedded demo database created here, under Xvfb.
#   tools/screenshot.sh BUILD_FOLDER [OUTPUT.png]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:?usage: $0 BUILD_FOLDER [OUTPUT.png]}")
out=$(realpath -m "${2:-$root/docs/screenshot.png}")
exe=$build/src/Prg_Tavolix
[ -x "$exe" ] || { echo "no program at $exe; build the Prg_Tavolix target first" >&2; exit 1; }
for tool in xvfb-run xdotool import convert isql-fb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (tools/install-deps.sh)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/tavolix-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lock" "$(dirname "$out")"
export FIREBIRD_LOCK=$work/lock/   # the embedded engine keeps apart from any server
cp "$exe" "$work/Prg_Tavolix"
demo=$work/demo.fdb
isql-fb -q <<SQL
create database '$demo' user 'SYSDBA' password 'quibolant' default character set UTF8;
create table customer (id integer not null primary key, name varchar(40), city varchar(30),
  balance numeric(12,2), joined timestamp);
insert into customer values (1, 'Ayşe Yılmaz', 'İstanbul', 1250.50, '2024-12-09 16:05:07');
insert into customer values (2, 'Mehmet Demir', 'Ankara', 3, '2024-12-09 00:00:00');
insert into customer values (3, 'Zeynep Kaya', 'İzmir', null, null);
commit;
SQL
printf '%s\n' "$demo" >"$work/database.txt"

# Inside the virtual display: start the program, give it time to come up, grab the screen and
# cut out the window (no window manager, so it sits undecorated at its stored position).
cat >"$work/inside.sh" <<'INSIDE'
set -euo pipefail
cd /
"$1/Prg_Tavolix" &
pid=$!
sleep "${SHOT_DELAY:-4}"
# Type a select into the editor (it has the focus), Tab to the run button and press it.
win=$(xdotool search --name "Tavolix V1.0" | head -n 1)
xdotool windowfocus --sync "$win"
xdotool type --delay 20 "select id, name, city, balance, joined from customer order by id"
xdotool key Tab space
sleep 2
import -window root "$1/screen.png"
# The client library may take SIGTERM for itself and leave the program running: bounded wait.
kill "$pid" 2>/dev/null || true
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INSIDE
QT_QPA_PLATFORM=xcb timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/inside.sh" "$work"
convert "$work/screen.png" -crop 860x599+279+122 +repage "$out"
echo "wrote $out"
