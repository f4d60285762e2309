#!/usr/bin/env bash
# Runs one Windows program under Wine in a session of its own and passes on its output and
# exit status.
# Usage: wine_run.sh --root DIR --bits 64|32 [--seconds N] -- PROGRAM ARGS...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine_session.sh"

root="" bits="" seconds=120
while [ $# -gt 0 ]; do
  case "$1" in
    --root) root="$2"; shift 2 ;;
    --bits) bits="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "wine_run.sh: unknown option $1"; exit 2 ;;
  esac
done
if [ -z "$root" ] || [ -z "$bits" ] || [ $# -eq 0 ]; then
  echo "usage: wine_run.sh --root DIR --bits 64|32 [--seconds N] -- PROGRAM ARGS..."
  exit 2
fi
if [ "$bits" = 32 ] && ! why="$(wine_32bit_problem "$root")"; then
  echo "$wine_skip_32bit_prefix $why"
  exit 0
fi

trap wine_session_stop EXIT
wine_session_start "$root" "$bits"
output="$root/tmp/wine_run.$$.out"
status=0
wine_session_run "$seconds" "$@" >"$output" 2>&1 || status=$?
tr -d '\r' <"$output"
rm -f "$output"
if [ $status -ne 0 ]; then
  echo "wine_run.sh: $(basename "$1") ended with status $status"
fi
exit $status
