#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz and runs them on their committed seed corpora: the tools a quarter of the time
# less than the whole, the object file reader (lwo_fuzz) that quarter.
# Usage: scripts/fuzz.sh [seconds] [extra libFuzzer options...]   (default: 60 seconds)
# New inputs go to build/fuzz/corpus and build/fuzz/lwo-corpus; a failing input is saved as
# build/fuzz/crash-*.
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
cmake --build build/fuzz --target vorrik_fuzz lwo_fuzz -j2

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
# From build/fuzz, where -jobs writes its logs. The first folder takes new inputs; the
# committed corpus is only read.
cd build/fuzz
mkdir -p corpus lwo-corpus
lwo_seconds=$((seconds / 4 > 0 ? seconds / 4 : 1))
bin/vorrik_fuzz -max_total_time="$((seconds - lwo_seconds > 0 ? seconds - lwo_seconds : 1))" \
  -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=./ "$@" corpus ../../fuzz/corpus
bin/lwo_fuzz -max_total_time="$lwo_seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix=./ "$@" lwo-corpus ../../fuzz/lwo_corpus
