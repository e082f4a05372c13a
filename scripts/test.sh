#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a plain optimised build, then a build
# under AddressSanitizer and UndefinedBehaviorSanitizer. Then replays the fuzz targets'
# saved inputs and runs each target for a short while (FUZZ_SECONDS, default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== plain build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORWICK_TESTS=ON -DMORWICK_BENCH=ON >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== sanitizer build"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORWICK_SANITIZE=ON -DMORWICK_TESTS=ON -DMORWICK_BENCH=OFF >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

echo "== fuzz targets, ${FUZZ_SECONDS:-30} s each"
fuzz/run.sh "${FUZZ_SECONDS:-30}"
