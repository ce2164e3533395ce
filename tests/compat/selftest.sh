#!/usr/bin/env bash
# check-release must name what would stop the release program loading: one
# probe program per kind of fault, built with the release toolchain.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cc=i686-w64-mingw32-gcc-win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail=0
# name | code in WinMain | extra link flags | a line the check must print ('' = no import complaint)
while IFS='|' read -r name code flags expect; do
  printf '#include <windows.h>\nint WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR line, int show)\n{ %s return 0; }\n' \
    "$code" >"$work/$name.c"
  # shellcheck disable=SC2086
  $cc -O1 -mwindows -o "$work/$name.exe" "$work/$name.c" $flags
  status=0
  out=$("$here/check-release" "$work/$name.exe") || status=$?
  if [[ -z $expect ]]; then
    if grep -q '^imports\|version' <<<"$out"; then
      echo "FAIL $name: the check objected to old calls:"; echo "$out"; fail=1
    else
      echo "ok   $name: no import or header complaint"
    fi
  elif [[ $status -eq 0 ]] || ! grep -qF "$expect" <<<"$out"; then
    echo "FAIL $name: expected '$expect', got (exit $status):"; echo "$out"; fail=1
  else
    echo "ok   $name: $expect"
  fi
done <<'ROWS'
old_calls|GetTickCount(); MessageBoxA(0, "", "", 0);||
vista_call|GetTickCount64();||KERNEL32.dll!GetTickCount64, which is missing on Windows 95 (no 9x system has it) and NT 4.0 (first in Vista)
win98_call|GetAncestor(GetDesktopWindow(), GA_ROOT);||USER32.dll!GetAncestor, which is missing on Windows 95 (first in 98) and NT 4.0 (first in 2000)
nt_only_call|CRITICAL_SECTION cs; InitializeCriticalSection(&cs); TryEnterCriticalSection(&cs);||KERNEL32.dll!TryEnterCriticalSection, which is missing on Windows 95 (no 9x system has it)
unlisted_call|ULARGE_INTEGER n; GetDiskFreeSpaceExA("C:\\", &n, &n, &n);||KERNEL32.dll!GetDiskFreeSpaceExA, which is not in tests/compat/kernel32.txt
newer_dll|TRIVERTEX v[2] = {{0}}; GRADIENT_RECT r = {0, 1}; GradientFill(GetDC(0), v, 2, &r, 1, 0);|-lmsimg32|imports MSIMG32.DLL, which is missing on Windows 95 (first in 98) and NT 4.0 (first in 2000)
xp_header|GetTickCount();|-Wl,--major-subsystem-version,5,--minor-subsystem-version,1|subsystem version 5.1, not 4.0
ROWS
exit $fail
