#!/usr/bin/env bash
# Builds and runs the whole test suite three times: an optimised build, the
# same with Clang, then a build under AddressSanitizer and
# UndefinedBehaviorSanitizer, where any report fails.
# Then the tests that run the engine's threads together (the "threads" label)
# once more under ThreadSanitizer, which must report nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --test
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  # Every option the run depends on is set here: a build folder configured
  # by another script (the demo turns the tests off) must not decide it.
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVH_SANITIZE=OFF -DVH_TESTS=ON -DVH_BENCH=ON "$@" > /dev/null
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure --no-tests=error -j "$jobs")
}

echo "== optimised build =="
run_suite build

echo "== clang build =="
# The same optimised suite built by the second compiler, so that code only
# one compiler accepts (its builtins, its constant-expression library) fails
# here rather than on a platform that has only the other.
run_suite build-clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang

echo "== sanitizer build =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DVH_SANITIZE=ON -DVH_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== thread sanitizer build (threads tests) =="
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVH_TSAN=ON -DVH_BENCH=OFF > /dev/null
cmake --build build-tsan -j "$jobs" --target vh_thread_tests
(cd build-tsan && ctest --output-on-failure -j "$jobs" -L threads)
