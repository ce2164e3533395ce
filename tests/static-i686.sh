#!/usr/bin/env bash
# Static checks of the 32-bit release build: it exists, it is a 32-bit GUI
# program, and it imports system DLLs only.
set -euo pipefail
exe=${1:?usage: static-i686.sh PATH/TO/i686/ferrolink.exe}
objdump=x86_64-w64-mingw32-objdump
[[ -f $exe ]] || { echo "missing: $exe"; exit 1; }
header=$($objdump -f "$exe")
private=$($objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$header" || { echo "not a 32-bit PE: $exe"; exit 1; }
grep -q 'Subsystem.*(Windows GUI)' <<<"$private" || { echo "not a GUI program"; exit 1; }
allowed='^(KERNEL32|USER32|GDI32|COMCTL32|MPR|SHELL32|WS2_32|MSIMG32|ADVAPI32|MSVCRT)\.DLL$'
fail=0
while read -r dll; do
  if ! [[ ${dll^^} =~ $allowed ]]; then echo "imports a non-system DLL: $dll"; fail=1; fi
done < <(awk '/DLL Name:/ {print $3}' <<<"$private")
# The manifest asks for common controls 6 as an x86 program.
grep -aq 'processorArchitecture="x86"' "$exe" || { echo "manifest without x86 architecture"; fail=1; }
grep -aq 'Microsoft.Windows.Common-Controls' "$exe" || { echo "manifest without common controls"; fail=1; }
[[ $fail -eq 0 ]] && echo "i686 build: 32-bit GUI, system DLLs only: $(awk '/DLL Name:/ {printf "%s ", $3}' <<<"$private")"
exit $fail
