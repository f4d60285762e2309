#!/usr/bin/env bash
# Fails when a tracked C++ file differs from .clang-format. Usage: scripts/check-format.sh [--fix]
# The style is pinned to clang-format 14 (Debian 12's): other versions break lines differently.
set -euo pipefail
cd "$(dirname "$0")/.."
tool=clang-format-14
if ! command -v "$tool" >/dev/null; then
  echo "check-format: $tool is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  "$tool" -i "${files[@]}"
  exit 0
fi
report=$(mktemp)
if ! "$tool" --dry-run -Werror "${files[@]}" 2>"$report"; then
  grep -o '^[^:]*:[0-9]*' "$report" | sort -u -t: -k1,1 | sed 's/^/  unformatted: /' >&2
  rm -f "$report"
  echo "check-format: run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f "$report"
echo "check-format: ${#files[@]} files formatted"
