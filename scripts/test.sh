#!/usr/bin/env bash
# Builds everything (Linux and the Windows cross build) and runs every test: the
# native tests directly, the Windows tests under Wine. Run as root on a fresh
# Debian 12 machine: it installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
echo "== native build"
cmake --preset native -DFU_WERROR=ON
cmake --build --preset native -j "$jobs"
echo "== native tests"
ctest --preset native -j "$jobs"

echo "== benchmarks"
build/native/bench/record_bench --benchmark_min_time=0.05
build/native/bench/flash_bench --benchmark_min_time=0.2
build/native/bench/app_bench

echo "== sanitizers"
bash scripts/sanitizers.sh

echo "== fuzzing"
bash scripts/fuzz.sh

echo "== windows build"
cmake --preset win32 -DFU_WERROR=ON
cmake --build --preset win32 -j "$jobs"

echo "== windows tests under Wine, and the screenshots"
bash scripts/wine-tests.sh
