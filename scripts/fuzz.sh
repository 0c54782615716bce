#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined behaviour
# sanitizers on) and runs each a few seconds from the seeds in fuzz/corpus.
# New inputs the fuzzer finds go to a temporary folder, never into the seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-10}

CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFU_FUZZ=ON -DFU_BUILD_TESTS=OFF -DFU_BUILD_BENCHMARKS=OFF -DFU_BUILD_FRONTENDS=OFF >/dev/null
targets=(card_record dsp_program backup_file flashrecord_input)
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

for t in "${targets[@]}"; do
  work=$(mktemp -d)
  echo "== fuzz_$t, $seconds s"
  if ! build/fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -artifact_prefix="$work/" "$work" fuzz/corpus/"$t" > "$work/log" 2>&1; then
    tail -n 40 "$work/log"
    echo "fuzz_$t found a fault; the input is in $work"
    exit 1
  fi
  grep -E '^Done' "$work/log"
  rm -rf "$work"
done
