#!/usr/bin/env bash
# A Windows Vorrik.p must export its descriptor alone and import from nothing but the
# system's KERNEL32.dll and msvcrt.dll: Layout's plug-in folder has no other DLLs.
# Usage: check_pe_tables.sh OBJDUMP MODULE FORMAT   (FORMAT: pei-x86-64 or pei-i386)
set -euo pipefail
objdump="$1"
module="$2"
format="$3"

if ! tables=$("$objdump" -p "$module"); then
  echo "pe tables: $objdump cannot read $module"
  exit 1
fi
status=0

if ! grep -q "file format $format\$" <<<"$tables"; then
  echo "pe tables: $module is not $format:"
  grep "file format" <<<"$tables" || true
  status=1
fi

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$tables" | sort -f | tr '\n' ' ')
if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
  echo "pe tables: $module imports from: ${imports:-nothing}"
  status=1
fi

# Named exports follow "[Ordinal/Name Pointer] Table"; every export, named or not, has a
# line in the address table.
names=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' \
  <<<"$tables" | tr '\n' ' ')
addresses=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$tables" |
  grep -c '^[[:space:]]*\[' || true)
if [ "$names" != "_mod_descrip " ] || [ "$addresses" != 1 ]; then
  echo "pe tables: $module exports ${names:-no names} ($addresses in the address table)"
  status=1
fi

if [ $status -ne 0 ]; then
  exit 1
fi
echo "pe tables ok: $(basename "$module") ($format) exports ${names% } only, imports ${imports% }"
