#!/usr/bin/env bash
# Sets up the machine, builds from scratch and runs every test: a plain build with warnings
# as errors, then the same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then
# a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
build() {  # build DIR [cmake args...]
  local dir=$1; shift
  rm -rf "$dir"
  cmake -S . -B "$dir" -DZELQA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

build build/ci
ctest --test-dir build/ci --output-on-failure -j "$jobs"

build build/ci-asan -DZELQA_SANITIZE=address,undefined -DZELQA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/ci-asan --output-on-failure -j "$jobs"

if [ -d fuzz ] && ls fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
  build build/ci-fuzz -DZELQA_FUZZ=ON -DZELQA_BENCH=OFF -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
  bash scripts/fuzz.sh build/ci-fuzz 10
fi
