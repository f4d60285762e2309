#!/usr/bin/env bash
# Builds the fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz and runs it on the committed seed corpus.
# Usage: scripts/fuzz.sh [seconds] [extra libFuzzer options...]   (default: 60 seconds)
# New inputs go to build/fuzz/corpus; a failing input is saved as build/fuzz/crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

scripts/install-deps.sh
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="$flags" -DVORRIK_FUZZ=ON -DVORRIK_TESTS=OFF -DVORRIK_BENCH=OFF \
  -DVORRIK_WERROR=ON \
  >/dev/null
cmake --build build/fuzz --target vorrik_fuzz -j2

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
# From build/fuzz, where -jobs writes its logs. The first folder takes new inputs; the
# committed corpus is only read.
cd build/fuzz
mkdir -p corpus
bin/vorrik_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=./ "$@" corpus ../../fuzz/corpus
