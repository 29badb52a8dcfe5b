#!/usr/bin/env bash
# Builds the program twice (normal, and with AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs every test against a private Firebird server on a loopback port and the embedded engine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/install-deps.sh

jobs=${JOBS:-2}
port=${TAVOLIX_FB_PORT:-30555}
work=$(mktemp -d /tmp/tavolix-test.XXXXXX)
server_dir=$work/server

cleanup() {
  bash tests/rig/fbserver.sh stop "$server_dir" || true
  # A fault test killed by its time-out cannot stop the server it started: end every server
  # whose root lies in a test folder.
  for pid in $(pgrep -x firebird || true); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -q -E "^FIREBIRD=($work|/tmp/fbt-)"; then
      kill -9 "$pid" 2>/dev/null || true
    fi
  done
  pkill -9 -f "^$root/build[^ ]*/tests/rig/tcpproxy" 2>/dev/null || true
}
trap cleanup EXIT

build() { # dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

echo "== format (clang-format)"
unformatted=$(git ls-files '*.cpp' '*.h' | while read -r f; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || echo "$f"; done)
[ -z "$unformatted" ] || { echo "not formatted with clang-format:"; echo "$unformatted"; exit 1; }

build build
build build-asan -DTAVOLIX_SANITIZE=ON -DTAVOLIX_BENCH=OFF

bash tests/rig/fbserver.sh start "$server_dir" "$port" quibolant >/dev/null
mkdir -p "$work/db"
export TAVOLIX_FB_SERVER=127.0.0.1/$port
export TAVOLIX_FB_SERVER_DIR=$server_dir
export TAVOLIX_TEST_DIR=$work/db
export TAVOLIX_RIG=$root/tests/rig
export QT_QPA_PLATFORM=offscreen
# The embedded engine keeps its lock files apart from the private server's.
export FIREBIRD_LOCK=$work/embedded-lock/
mkdir -p "$FIREBIRD_LOCK"

status=0
echo "== tests (normal build)"
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600 || status=1

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$root/tools/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900 || status=1

echo "== fuzzers (libFuzzer, ASan + UBSan, ${FUZZ_SECONDS:-60} s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVOLIX_FUZZ=ON -DTAVOLIX_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
for target in scanner lines errortext celltext; do
  corpus=$work/corpus/$target
  mkdir -p "$corpus"
  cp tests/fuzz/corpus/$target/* "$corpus/"
  if build-fuzz/tests/fuzz/fuzz_$target -max_total_time="${FUZZ_SECONDS:-60}" -rss_limit_mb=2048 \
       -artifact_prefix="$work/" "$corpus" >"$work/fuzz_$target.log" 2>&1; then
    echo "fuzz_$target: $(tail -n 1 "$work/fuzz_$target.log")"
  else
    echo "fuzz_$target FAILED:"; tail -n 40 "$work/fuzz_$target.log"; status=1
  fi
done

exit $status
