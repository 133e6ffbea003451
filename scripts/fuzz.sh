#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs every one of them: first a replay
# of its committed corpus, then SECONDS of fuzzing (default 30). Any crash, leak, timeout or
# sanitizer report fails the run; the input that caused it is kept under build/fuzz/artifacts.
#
#   bash scripts/fuzz.sh [SECONDS]          what CI runs (scripts/test.sh calls it)
#   bash scripts/fuzz.sh --merge SECONDS    a longer run whose new coverage is merged (-merge=1)
#                                           into the committed corpora; commit what it adds
#
# Targets are found, not listed: every fuzz/fuzz_NAME.cpp is a target whose corpus is
# fuzz/corpus/NAME, and a target without a committed corpus is an error.
set -euo pipefail
cd "$(dirname "$0")/.."

merge=0
if [ "${1:-}" = "--merge" ]; then
    merge=1
    shift
fi
seconds=${1:-30}
build=build/fuzz

if [ -z "${QUILLON_DEPS_DONE:-}" ]; then
    source scripts/deps.sh
    quillon_install_deps
fi

echo "=== fuzz build ==="
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLON_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

# libFuzzer reports leaks itself; abort_on_error lets it keep the crashing input.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/artifacts" "$build/logs"
status=0
targets=()
for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    corpus=fuzz/corpus/${name#fuzz_}
    if [ ! -d "$corpus" ] || [ -z "$(ls -A "$corpus")" ]; then
        echo "FAIL $name: no committed corpus in $corpus"
        status=1
        continue
    fi
    targets+=("$name")
done

echo "=== fuzz: replay every corpus, then ${seconds}s per target ==="
for name in "${targets[@]}"; do
    corpus=fuzz/corpus/${name#fuzz_}
    binary=$build/fuzz/$name
    log=$build/logs/$name.log
    common=(-timeout=25 -rss_limit_mb=2048 -print_final_stats=1 "-artifact_prefix=$build/artifacts/$name-")
    # New inputs go to a scratch directory, so CI leaves the committed corpus as it was.
    scratch=$build/new_corpus/$name
    rm -rf "$scratch"
    mkdir -p "$scratch"
    if ! "$binary" "${common[@]}" -runs=0 "$corpus" >"$log" 2>&1; then
        echo "FAIL $name: committed corpus ($(ls "$corpus" | wc -l) inputs) does not replay cleanly"
        tail -n 40 "$log"
        status=1
        continue
    fi
    if ! "$binary" "${common[@]}" -max_total_time="$seconds" "$scratch" "$corpus" >>"$log" 2>&1; then
        echo "FAIL $name: finding after fuzzing (see $log and $build/artifacts)"
        tail -n 40 "$log"
        status=1
        continue
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || echo "?")
    echo "ok   $name: corpus $(ls "$corpus" | wc -l) inputs, ${runs} executions in ${seconds}s"
    if [ $merge -eq 1 ]; then
        before=$(ls "$corpus" | wc -l)
        "$binary" -merge=1 "$corpus" "$scratch" >>"$log" 2>&1
        echo "     merged: $before -> $(ls "$corpus" | wc -l) inputs"
    fi
done
exit $status
