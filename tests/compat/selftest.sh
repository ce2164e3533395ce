#!/usr/bin/env bash
# check-release must name what would stop the release program loading: one
# probe program per kind of fault, built with the release toolchain and the
# release's own resources (icons, manifest), so that a probe without a fault
# passes the check and each probe with one fails it for that fault alone.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cc=i686-w64-mingw32-gcc-win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The probes link CRTDLL, as the release program does; one links MSVCRT.
mkdir "$work/crtdll"
cp "$($cc -print-file-name=libcrtdll.a)" "$work/crtdll/libmsvcrt.a"
crtdll=-L$work/crtdll
root=$(cd "$here/../.." && pwd)
mkdir "$work/res"
sed 's/@FL_MANIFEST_ARCH@/x86/g' "$root/res/ferrolink.manifest.in" >"$work/res/ferrolink.manifest"
i686-w64-mingw32-windres -I "$root/res" -I "$work/res" -O coff -o "$work/res.o" "$root/res/ferrolink.rc"

fail=0
# name | code in WinMain | extra link flags | a line the check must print
# ('loads': it must pass, saying so for all nine systems)
while IFS='|' read -r name code flags expect; do
  printf '#include <winsock2.h>\n#include <windows.h>\n#include <commctrl.h>\nint WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR line, int show)\n{ %s return 0; }\n' \
    "$code" >"$work/$name.c"
  flags=${flags//CRTDLL/$crtdll}
  # shellcheck disable=SC2086
  $cc -O1 -mwindows -o "$work/$name.exe" "$work/$name.c" "$work/res.o" $flags
  status=0
  out=$("$here/check-release" "$work/$name.exe") || status=$?
  if [[ $expect == loads ]]; then
    if [[ $status -ne 0 || $(grep -c ': loads$' <<<"$out") -ne 9 ]] || ! grep -q ' imports from ' <<<"$out"; then
      echo "FAIL $name: expected it to load everywhere, got (exit $status):"; echo "$out"; fail=1
    else
      echo "ok   $name: loads on all nine systems"
    fi
  elif [[ $status -ne 1 ]] || ! grep -qF "$expect" <<<"$out"; then
    echo "FAIL $name: expected '$expect' and exit 1, got (exit $status):"; echo "$out"; fail=1
  else
    echo "ok   $name: $expect"
  fi
done <<'ROWS'
old_calls|GetTickCount(); MessageBoxA(0, "", "", 0);|CRTDLL|loads
vista_call|GetTickCount64();|CRTDLL|Windows XP: does not load (KERNEL32.dll!GetTickCount64, first in Vista)
win98_call|GetAncestor(GetDesktopWindow(), GA_ROOT);|CRTDLL|Windows NT 4.0 SP6: does not load (USER32.dll!GetAncestor, first in 98 and 2000)
nt_only_call|CRITICAL_SECTION cs; InitializeCriticalSection(&cs); TryEnterCriticalSection(&cs);|CRTDLL|Windows ME: does not load (KERNEL32.dll!TryEnterCriticalSection, first in 4.0)
unlisted_call|ULARGE_INTEGER n; GetDiskFreeSpaceExA("C:\\", &n, &n, &n);|CRTDLL|KERNEL32.dll!GetDiskFreeSpaceExA, which is not in tests/compat/kernel32.txt
newer_dll|TRIVERTEX v[2] = {{0}}; GRADIENT_RECT r = {0, 1}; GradientFill(GetDC(0), v, 2, &r, 1, 0);|CRTDLL -lmsimg32|Windows 95 with Internet Explorer 4: does not load (MSIMG32.DLL, first in 98 and 2000)
msvcrt_runtime|GetTickCount();||Windows 95 as shipped: does not load (msvcrt.dll, first in 98 and 4.0; 95 with IE4)
winsock2|WSADATA d; WSAStartup(0x0101, &d);|CRTDLL -lws2_32|Windows 95 with Internet Explorer 4: does not load (WS2_32.dll, first in 98 and 4.0; 95 with WS2)
common_controls_470|INITCOMMONCONTROLSEX i = {sizeof i, 0}; InitCommonControlsEx(&i);|CRTDLL -lcomctl32|Windows NT 4.0 SP6: does not load (COMCTL32.DLL!InitCommonControlsEx, first in 98 and 2000; 4.0 with IE3, 95 with IE3)
xp_header|GetTickCount();|CRTDLL -Wl,--major-subsystem-version,5,--minor-subsystem-version,1|subsystem version 5.1, not 4.0
ROWS
exit $fail
