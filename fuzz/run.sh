#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs each for SECONDS (default 60), starting from its seed corpus under
# fuzz/corpus/<target>/. Inputs found along the way go to build-fuzz/work/<target>/; a crash,
# leak, sanitizer report or time-out stops with a failure and leaves its input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2

status=0
for target in script_runner expansion reg_import; do
  work="$build/work/$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  if ! (cd "$build" && ./"fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
         -max_len=65536 -print_final_stats=1 "work/$target" "../fuzz/corpus/$target"); then
    echo "fuzz_$target FAILED" >&2
    status=1
  fi
done
exit $status
