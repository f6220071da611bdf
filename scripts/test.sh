#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: in the normal build, and in a build
# with AddressSanitizer and UndefinedBehaviorSanitizer; then the library's thread test in a
# build with ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
export TZ=UTC LC_ALL=C
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTOOL_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVELTOOL_SANITIZE=ON -DVELTOOL_TESTS=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "$jobs"

# The library's thread test under ThreadSanitizer: only the library's test program is built.
if [ -d tests/library ]; then
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELTOOL_TSAN=ON -DVELTOOL_TESTS=ON >/dev/null
    cmake --build build-tsan -j "$jobs" --target library_tests
    out=$(TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build-tsan/tests/library_tests \
        --gtest_filter='*Thread*' 2>&1) || { echo "$out"; exit 1; }
    echo "$out" | tail -n 1
    echo "$out" | grep -q '^\[  PASSED  \] [1-9][0-9]* test' || { echo "no thread test ran under ThreadSanitizer"; exit 1; }
else
    echo "no library tests (tests/library): the ThreadSanitizer run is skipped"
fi
