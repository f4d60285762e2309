#!/usr/bin/env bash
# Says in a few lines what one CTest run did, read from its output: how many tests passed,
# were skipped or failed, and the result line of each Windows check, or why it was skipped.
# Usage: scripts/ctest-summary.sh NAME LOG
set -euo pipefail
name="$1"
log="$2"

# CTest ends with "N% tests passed, F tests failed out of T" and lists the tests it skipped
# as "  7 - name (Skipped)".
counts="$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\1 \2/p' \
  "$log" | tail -n 1)"
if [ -z "$counts" ]; then
  echo "  $name: no test results (see $log)"
  exit 1
fi
read -r failed total <<<"$counts"
skipped="$(grep -c -E '^[[:space:]]*[0-9]+ - .* \(Skipped\)$' "$log" || true)"
line="  $name: $((total - failed - skipped)) of $total tests passed"
if [ "$skipped" -ne 0 ]; then
  line+=", $skipped skipped"
fi
if [ "$failed" -ne 0 ]; then
  line+=", $failed FAILED"
fi
echo "$line"

# The Windows checks' result lines; other builds have none.
results="$(grep -h -o -E \
  "pe tables ok: .*|wine module checks \(.*|wine comparison \(.*|skipping the 32-bit Wine run: .*" \
  "$log" || true)"
if [ -n "$results" ]; then
  tr -d '\r' <<<"$results" | awk '!seen[$0]++ { print "    " $0 }'
fi
