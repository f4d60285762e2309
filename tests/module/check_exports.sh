#!/usr/bin/env bash
# The module must export its descriptor and nothing else.
set -euo pipefail
module="$1"
exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$exports" != "_mod_descrip" ]; then
  echo "unexpected exports from $module:"
  echo "$exports"
  exit 1
fi
echo "exports ok: $exports"
