#!/usr/bin/env bash
# Builds the native tests with the address and undefined behaviour sanitizers and
# runs them (the window tests aside, whose toolkit is not built for it). Warnings
# are held to zero by the normal builds; sanitizer code generation makes g++ 12
# warn falsely inside the standard library (-Wmaybe-uninitialized). The fault
# campaign runs a small sample of itself here.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFU_SANITIZE=ON -DFU_WERROR=OFF \
  -DFU_BUILD_BENCHMARKS=OFF -DFU_BUILD_QT=OFF -DFU_CAMPAIGN_SMALL=ON >/dev/null
cmake --build build/asan -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -j "$(nproc)" --output-on-failure
