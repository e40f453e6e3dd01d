#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short while on a copy of its corpus.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}

bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DAUBREVANE_FUZZ=ON \
    -DAUBREVANE_SANITIZE=address,undefined -DBUILD_TESTING=OFF >/dev/null
# Only the fuzz targets and what they link: the rest of the tree is built and tested by scripts/test.sh.
mapfile -t targets < <(cut -d'|' -f1 build-fuzz/fuzzers.txt | grep -v '^$')
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

while IFS='|' read -r name corpus; do
    [ -n "$name" ] || continue
    work=$(mktemp -d)
    cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    echo "fuzzing $name for ${seconds}s" >&2
    "build-fuzz/fuzz/$name" -max_total_time="$seconds" -print_final_stats=0 "$work" 2>"build-fuzz/$name.log" \
        || { tail -50 "build-fuzz/$name.log" >&2; exit 1; }
    rm -rf "$work"
done <build-fuzz/fuzzers.txt
echo "fuzzing: no crash" >&2
