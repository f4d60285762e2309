#!/usr/bin/env bash
# Builds everything and runs every test. Usage: scripts/test.sh [preset] (default: default)
# Ends with a summary of what ran and what was skipped, and why.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
mkdir -p build/logs
log="build/logs/$preset.log"
ctest --preset "$preset" 2>&1 | tee "$log"
# The Windows builds, checked under Wine against the native runner just tested.
if [ "$preset" = default ]; then
  scripts/windows-test.sh
fi

echo
echo "test: summary"
scripts/ctest-summary.sh "$preset" "$log"
if [ "$preset" = default ]; then
  cat build/logs/windows.summary
else
  echo "  Windows builds and Wine checks: run with the default preset only"
fi
