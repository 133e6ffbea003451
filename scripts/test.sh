#!/usr/bin/env bash
# Builds the Release and the AddressSanitizer+UndefinedBehaviorSanitizer configurations and
# runs every test in both, then cross-builds the 32-bit and 64-bit Windows DLLs (mingw-w64),
# checks their exports, ordinals and imports and runs the 64-bit DLL's tests under Wine, then
# the clang fuzz configuration: every libFuzzer target replays its
# committed corpus and fuzzes for 30 seconds (scripts/fuzz.sh). Exits non-zero on any build or
# test failure or fuzzer finding.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
quillon_install_deps

jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
run_config() {
    local name=$1; shift
    echo "=== $name build ==="
    cmake -S . -B "build/$name" -G Ninja "$@" >/dev/null
    cmake --build "build/$name" -j "$jobs"
    echo "=== $name tests ==="
    (cd "build/$name" && ctest -j "$jobs" --output-on-failure --timeout 900) || status=1
}
run_config release -DCMAKE_BUILD_TYPE=Release
run_config sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_SANITIZE=ON
# Windows: only the 64-bit tests run (no 32-bit Wine here); both DLLs are checked with objdump.
for arch in i686 x86_64; do
    run_config "win-$arch" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake"
done
QUILLON_DEPS_DONE=1 bash scripts/fuzz.sh 30 || status=1
if [ $status -ne 0 ]; then
    echo "Some tests failed."
fi
exit $status
