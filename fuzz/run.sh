#!/usr/bin/env bash
# Builds the fuzz targets, seeds their corpora, replays the saved regression inputs and
# then runs every target in turn.
#   fuzz/run.sh [SECONDS]      (default 30 seconds per target)
# Exits non-zero when a regression input still fails or a target finds anything; the
# finding is saved under build/fuzz/artifacts/<target>/.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
build="$root/build/fuzz"
seconds="${1:-30}"
targets=(fuzz_loader_pcap fuzz_loader_pcapng fuzz_parsemaster fuzz_readfqdn)
export TZ=UTC
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

set -e
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2
"$here/seed.sh" "${MORWICK_CAPTURES_DIR:-$root/../shared/captures}" "$build/corpus"
set +e

failed=0
summary=()

# Saved findings first: each must now run clean.
for t in "${targets[@]}"; do
    dir="$here/regressions/$t"
    [[ -d "$dir" ]] || continue
    mapfile -t inputs < <(find "$dir" -type f ! -name '*.md' | sort)
    [[ ${#inputs[@]} -gt 0 ]] || continue
    if "$build/$t" -timeout=10 -rss_limit_mb=2048 "${inputs[@]}" >"$build/$t.regressions.log" 2>&1; then
        summary+=("$t: ${#inputs[@]} regression inputs pass")
    else
        summary+=("$t: REGRESSION INPUT FAILS (see $build/$t.regressions.log)")
        failed=1
    fi
done

for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t" "$build/artifacts/$t"
    log="$build/$t.log"
    echo "== $t: ${seconds}s"
    "$build/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t/" "$build/corpus/$t" >"$log" 2>&1
    rc=$?
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    if [[ $rc -eq 0 ]]; then
        summary+=("$t: ${execs:-?} executions (${speed:-?}/s), ${cov:-cov: ?}, no findings")
    else
        summary+=("$t: FINDING after ${execs:-?} executions (exit $rc), see $log and $build/artifacts/$t/")
        failed=1
    fi
done

echo
printf '%s\n' "${summary[@]}"
exit $failed
