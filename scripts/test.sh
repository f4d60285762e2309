#!/usr/bin/env bash
# Builds everything and runs every test. Usage: scripts/test.sh [preset] (default: default)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
# The Windows builds, checked under Wine against the native runner just tested.
if [ "$preset" = default ]; then
  scripts/windows-test.sh
fi
