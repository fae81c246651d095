#!/usr/bin/env bash
# Sets up the machine, builds from scratch and runs every test: a plain build with warnings
# as errors, its Debian package installed on a fresh Debian 12 root and called there, then the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the concurrency tests under ThreadSanitizer, then the Windows DLLs (built with mingw-w64, run
# under Wine), then a clang build checked by its thread-safety analysis that also holds the fuzz
# targets, and a short run of each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
stage() { echo "=== $* (${SECONDS}s into the run)"; }
build() {  # build DIR [cmake args...] [-- targets...]
  local dir=$1 args=() targets=(all); shift
  while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
  [ $# -gt 1 ] && targets=("${@:2}")
  rm -rf "$dir"
  cmake -S . -B "$dir" -DZELQA_WERROR=ON "${args[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
}

stage plain build and tests
# Installed under /usr, as the Debian package installs it: its test checks the package's files.
build build/ci -DCMAKE_INSTALL_PREFIX=/usr
ctest --test-dir build/ci --output-on-failure -j "$jobs"

# Hooks for tests (named ...ForTesting) do not ship: nothing in the shared library calls them,
# so its link drops them. The session key's stays, reached through the security mechanisms'
# tables of virtual functions; it only reads.
dll=$(find build/ci -name 'libZelqaRpcClientDll.so' | head -n 1)
if nm -C "$dll" | grep ForTesting | grep -v SessionKeyForTesting; then
  echo "$dll holds hooks for tests" >&2
  exit 1
fi

stage Debian package on a clean Debian 12 root
(cd build/ci && cpack -G DEB >/dev/null)
bash tests/install/clean_root_install.sh build/ci/packages/zelqa-rpc_*_amd64.deb

stage AddressSanitizer, UndefinedBehaviorSanitizer, coverage
# The sanitizer build is also the coverage build: what the suite protects is the share of the
# library's, the run time's and the programs' lines that it runs.
build build/ci-asan -DZELQA_SANITIZE=address,undefined -DZELQA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  -DZELQA_COVERAGE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/ci-asan --output-on-failure -j "$jobs"
echo "Line coverage of src/, rpcrt/, server/ and tools/:"
# gcovr replaces its output file rather than writing into it: never point it at /dev/null.
timeout 300 gcovr --root . --object-directory build/ci-asan --filter 'src/' --filter 'rpcrt/' \
  --filter 'server/' --filter 'tools/' --gcov-ignore-parse-errors --print-summary \
  --output build/ci-asan/coverage.txt -j "$jobs" |
  grep -E '^(lines|functions|branches):' || true

stage ThreadSanitizer
# ThreadSanitizer, on the tests that are about threads meeting: many host threads on shared
# and separate connections, disconnects racing calls, loggers and receivers coming and going.
build build/ci-tsan -DZELQA_SANITIZE=thread -DZELQA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  -- load_storm_tests logging_concurrency_tests client_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build/ci-tsan --output-on-failure --no-tests=error -j "$jobs" \
  -R '^(StormTest\.|ConcurrencyTest\.|CallTest\.(ManyThreads|DisconnectDuring))'

stage Windows
# The Windows DLLs (i686 and x86_64) and their tests, the x86_64 one under Wine.
ZELQA_WINDOWS_E2E_SERVER=build/ci/server/zelqa-rpc-server bash scripts/windows.sh build/ci

stage clang thread-safety analysis and fuzzing
# clang's thread-safety analysis: every member a lock guards is read and written with that lock
# held. The fuzz build below compiles the libraries and programs with clang, the analysis on and
# warnings as errors; this probe first shows the analysis is live, i.e. that an unguarded access
# fails the build.
probe='#include "rpcrt/base/mutex.h"
struct Probe { rpcrt::base::Mutex m; int n GUARDED_BY(m) = 0; void Bump() { ++n; } };'
if echo "$probe" | clang++ -std=c++20 -I. -Wthread-safety -Werror -fsyntax-only -x c++ - 2>/dev/null; then
  echo "clang's thread-safety analysis let an unguarded access through" >&2
  exit 1
fi

build build/ci-fuzz -DZELQA_FUZZ=ON -DZELQA_BENCH=OFF -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
bash scripts/fuzz.sh build/ci-fuzz 10
stage done
