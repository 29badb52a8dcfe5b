#!/usr/bin/env bash
# Builds the program and starts it on an embedded demo database (a plain file path, no server),
# with a database.txt beside the executable pointing at it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"${JOBS:-2}" --target Prg_Tavolix

exe_dir=$root/build/src
demo=$root/build/demo/demo.fdb
if [ ! -f "$demo" ]; then
  mkdir -p "$(dirname "$demo")"
  isql-fb -q <<SQL
create database '$demo' user 'SYSDBA' password 'quibolant' default character set UTF8;
create table customer (
  id integer not null primary key,
  name varchar(40),
  city varchar(30),
  balance numeric(12,2),
  joined timestamp,
  notes blob sub_type text
);
insert into customer values (1, 'Ayşe Yılmaz', 'İstanbul', 1250.50, '2024-12-09 16:05:07', 'first customer');
insert into customer values (2, 'Mehmet Demir', 'Ankara', 3, '2024-12-09 00:00:00', null);
insert into customer values (3, 'Zeynep Kaya', 'İzmir', null, null, null);
set term ^;
execute block as
  declare i integer = 4;
begin
  while (i <= 5000) do
  begin
    insert into customer values (:i, 'Customer ' || :i, 'City ' || mod(:i, 50),
                                 :i * 1.25, dateadd(:i minute to timestamp '2024-01-01 08:00:00'), null);
    i = i + 1;
  end
end^
set term ;^
commit;
SQL
fi
printf '%s\n' "$demo" >"$exe_dir/database.txt"
echo "database.txt -> $demo"
exec "$exe_dir/Prg_Tavolix"
