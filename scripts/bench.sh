#!/usr/bin/env bash
# Builds with optimisation and runs every benchmark program in bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j "$(nproc)"
for program in build-bench/bench/*; do
    if [ -x "$program" ] && [ -f "$program" ]; then
        "$program" "$@"
    fi
done
