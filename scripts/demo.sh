#!/usr/bin/env bash
# Builds the module and the runner, then tours the tools on the built-in demo rig, with a
# picture of each run in build/demo (SVG, and a PNG of each for viewers without SVG).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target vorrik
build/default/bin/vorrik demo --out build/demo "$@"
for argument in "$@"; do
  case "$argument" in
    --dry-run | --help | -h) exit 0 ;;  # no new pictures to render
  esac
done
shopt -s nullglob
rendered=0
for picture in build/demo/*.svg; do
  rsvg-convert "$picture" -o "${picture%.svg}.png"
  rendered=$((rendered + 1))
done
if [ "$rendered" -gt 0 ]; then
  echo "and a PNG of each beside it"
fi
