#!/usr/bin/env bash
# Builds the benchmark programs with optimisation (nothing else: no tests) and runs each of them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j "$(nproc)" --target benchmarks
for program in build-bench/bench/aubrevane-*-bench; do
    if [ -x "$program" ] && [ -f "$program" ]; then
        "$program" "$@"
    fi
done
