#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz and runs them on their committed seed corpora.
# Usage: scripts/fuzz.sh [seconds] [FUZZER] [extra libFuzzer options...]
#   seconds  the whole budget (default 60); without FUZZER it is shared: the module fuzzer
#            gets two parts, each file-reader fuzzer one
#   FUZZER   one of: vorrik lwo lws_read json_read lws_json script; it alone gets the budget
# New inputs go to build/fuzz/corpus-FUZZER; a failing input is saved as
# build/fuzz/FUZZER-crash-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
all=(vorrik lwo lws_read json_read lws_json script)
chosen=("${all[@]}")
if [[ $# -gt 0 && "$1" != -* ]]; then
  chosen=("$1")
  shift
  [[ " ${all[*]} " == *" ${chosen[0]} "* ]] || { echo "unknown fuzzer ${chosen[0]}" >&2; exit 2; }
fi

# The committed seeds of each fuzzer (read only).
seeds() {
  case "$1" in
    vorrik) echo fuzz/corpus ;;
    lwo) echo fuzz/lwo_corpus ;;
    lws_read | lws_json) echo fuzz/seeds/lws ;;
    json_read) echo fuzz/seeds/json ;;
    script) echo fuzz/seeds/script ;;
  esac
}

scripts/install-deps.sh
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="$flags" -DVORRIK_FUZZ=ON -DVORRIK_TESTS=OFF -DVORRIK_BENCH=OFF \
  -DVORRIK_WERROR=ON \
  >/dev/null
targets=()
for name in "${chosen[@]}"; do targets+=("${name}_fuzz"); done
cmake --build build/fuzz --target "${targets[@]}" -j2

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
parts=0
for name in "${chosen[@]}"; do
  if [[ "$name" == vorrik && ${#chosen[@]} -gt 1 ]]; then parts=$((parts + 2)); else parts=$((parts + 1)); fi
done
# From build/fuzz, where -jobs writes its logs. The first folder takes new inputs; the
# committed corpus is only read.
cd build/fuzz
for name in "${chosen[@]}"; do
  share=$((seconds / parts))
  if [[ "$name" == vorrik && ${#chosen[@]} -gt 1 ]]; then share=$((share * 2)); fi
  [[ $share -ge 1 ]] || share=1
  echo "== ${name}_fuzz for ${share} s"
  mkdir -p "corpus-$name"
  "bin/${name}_fuzz" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="./${name}-" "$@" "corpus-$name" "../../$(seeds "$name")"
done
