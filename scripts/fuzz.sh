#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for SECONDS (default
# 30) on top of its seed corpus in fuzz/corpus/. Any crash, leak, sanitizer report or input
# slower than 1 second fails the run; the new inputs found stay in build-fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
jobs=$(nproc 2>/dev/null || echo 2)
export TZ=UTC LC_ALL=C

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTOOL_FUZZ=ON \
    -DVELTOOL_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for target in directory directory_sector host_forms parmdump conversions journal; do
    corpus=build-fuzz/corpus/$target
    log=build-fuzz/fuzz-$target.log
    mkdir -p "$corpus"
    if build-fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
        -max_len=65536 -close_fd_mask=3 -print_final_stats=1 -artifact_prefix=build-fuzz/$target- \
        "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "fuzz $target: ${runs:-?} executions in ${seconds} s, no findings"
    else
        echo "fuzz $target: FAILED (see $log)"
        tail -n 40 "$log"
        failed=1
    fi
done
exit $failed
