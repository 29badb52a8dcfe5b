#!/usr/bin/env bash
# Runs the fetch benchmark in a release build, over a private server on loopback and the
# embedded engine. ROWS=N picks the size of the big table (default 1,000,000).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-release -j"${JOBS:-2}" --target fetch_bench

port=${TAVOLIX_FB_PORT:-30556}
work=${BENCH_DIR:-/tmp/tavolix-bench}
mkdir -p "$work/db"
trap 'bash tests/rig/fbserver.sh stop "$work/server" || true' EXIT
bash tests/rig/fbserver.sh start "$work/server" "$port" quibolant >/dev/null
export QT_QPA_PLATFORM=offscreen FIREBIRD_LOCK=$work/embedded-lock/
mkdir -p "$FIREBIRD_LOCK"
build-release/bench/fetch_bench "127.0.0.1/$port" "$work/db" --rows "${ROWS:-1000000}"
