#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh                 plain build, all tests
#   scripts/test.sh --sanitize asan AddressSanitizer + UndefinedBehaviorSanitizer build, all tests
#   scripts/test.sh --sanitize tsan ThreadSanitizer build, the concurrency tests
set -euo pipefail
cd "$(dirname "$0")/.."

mode=plain
if [ "${1:-}" = "--sanitize" ]; then
    mode=${2:?"--sanitize takes asan or tsan"}
fi

bash scripts/install-deps.sh

jobs=$(nproc)
case "$mode" in
    plain) build=build; flags=(); selection=() ;;
    asan) build=build-asan; flags=(-DAUBREVANE_SANITIZE=address,undefined); selection=() ;;
    tsan) build=build-tsan; flags=(-DAUBREVANE_SANITIZE=thread); selection=(-L concurrency) ;;
    *) echo "test.sh: unknown mode $mode (use asan or tsan)" >&2; exit 2 ;;
esac

cmake -S . -B "$build" -G Ninja "${flags[@]}" >/dev/null
if [ "$mode" = tsan ]; then
    cmake --build "$build" -j "$jobs" --target concurrency_tests
else
    cmake --build "$build" -j "$jobs"
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# quoted for the sanitizers' own option parser, which would split the path at a space
export LSAN_OPTIONS="suppressions=\"$PWD/tests/lsan.supp\":print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300 "${selection[@]}"
