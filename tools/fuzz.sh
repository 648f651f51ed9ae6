#!/usr/bin/env bash
# Builds the libFuzzer programs with clang and runs each for a bounded time (SECONDS, 25 by
# default) over the kept inputs, plus a huge picture made on the spot. A crash stops with
# its input saved under build/fuzz/found/; keep it in tests/fuzz/corpus/ once mended.
# Usage: fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-25}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETTA_FUZZ=ON \
  -DLUMETTA_BENCH=OFF >/dev/null
cmake --build build/fuzz -j"$(nproc)" --target lumetta_fuzz_panel lumetta_fuzz_cli >/dev/null
mkdir -p build/fuzz/found
for target in panel cli; do
  work=build/fuzz/corpus-$target
  rm -rf "$work" && mkdir -p "$work"
  cp tests/fuzz/corpus/$target/* "$work/"
  # Bigger than any picture the byte rule reads.
  [ "$target" = panel ] && head -c 400000 /dev/urandom >"$work/huge"
  echo "fuzz: $target for $seconds s" >&2
  build/fuzz/tests/lumetta_fuzz_$target -max_total_time="$seconds" -max_len=400000 -timeout=10 \
    -artifact_prefix=build/fuzz/found/$target- "$work" 2>build/fuzz/$target.log || {
    echo "fuzz: $target found a fault:" >&2; tail -40 build/fuzz/$target.log >&2; exit 1; }
  grep -E '^Done|stat::number_of_executed_units' build/fuzz/$target.log | tail -1 >&2 || true
done
