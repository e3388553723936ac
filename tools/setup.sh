#!/usr/bin/env bash
# Builds keyfold on a Debian machine, installing missing build packages first when run as root.
#   tools/setup.sh          build the programs into build/
#   tools/setup.sh test     build everything and run every test
#   tools/setup.sh asan     build the tests with AddressSanitizer and UBSan into build-asan/ and run them
#   tools/setup.sh fuzz     install what the fuzzers need (clang with libFuzzer)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-build}
packages=(cmake ninja-build g++ pkg-config libsqlite3-dev libgtest-dev libbenchmark-dev)
if [ "$mode" = fuzz ]; then packages+=(clang libclang-rt-dev); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "Installing build packages: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing build packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

jobs=$(nproc 2>/dev/null || echo 2)
case "$mode" in
  build)
    cmake -S . -B build -G Ninja -DKEYFOLD_TESTS=OFF >/dev/null
    ninja -C build -j"$jobs" keyfold keyfold-reg
    ;;
  test)
    cmake -S . -B build -G Ninja -DKEYFOLD_TESTS=ON -DKEYFOLD_BENCH=ON >/dev/null
    ninja -C build -j"$jobs"
    ctest --test-dir build --output-on-failure -j"$jobs"
    ;;
  asan)
    cmake -S . -B build-asan -G Ninja -DKEYFOLD_TESTS=ON -DKEYFOLD_SANITIZE=ON \
      -DCMAKE_BUILD_TYPE=Debug >/dev/null
    ninja -C build-asan -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir build-asan --output-on-failure -j"$jobs"
    ;;
  fuzz)
    ;;
  *)
    echo "usage: tools/setup.sh [build|test|asan|fuzz]" >&2
    exit 2
    ;;
esac
