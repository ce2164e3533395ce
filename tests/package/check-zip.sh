#!/usr/bin/env bash
# check-zip.sh BUILD: the Windows download make dist wrote into BUILD. It
# holds ferrolink.exe and README.txt alone; the exe is the release program
# (BUILD/i686/bin/ferrolink.exe) and carries its version resource as
# binutils' windres reads it back; README.txt is plain ASCII with Windows'
# line ends and names the version and, in check-release's order, the very
# systems check-release says the program loads on.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:?BUILD}" && pwd)
version=$(sed -n 's/^#define FL_VERSION_TEXT *"\(.*\)"$/\1/p' "$src/res/version.h")
zip=$build/ferrolink-$version-win32.zip
[[ -f $zip ]] || { echo "no $zip: make dist first"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
. "$here/checks.sh"

check "the zip holds the program and README.txt alone" $'README.txt\nferrolink.exe' "$(unzip -Z1 "$zip" | LC_ALL=C sort)"
unzip -q "$zip" -d "$tmp/x"
exe=$tmp/x/ferrolink.exe
check "its exe is the release program" "same" "$(cmp -s "$exe" "$build/i686/bin/ferrolink.exe" && echo same)"

# The version resource, as windres reads it back.
i686-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null | tr -d '\r' > "$tmp/res.rc"
value() { sed -n "s/^ *VALUE \"$1\", \"\\(.*\\)\"\$/\\1/p" "$tmp/res.rc" | sed 's/\\0$//'; }
check "FILEVERSION and PRODUCTVERSION 1.0" $'FILEVERSION 1, 0, 0, 0\nPRODUCTVERSION 1, 0, 0, 0' \
  "$(grep -E '^ *(FILE|PRODUCT)VERSION' "$tmp/res.rc" | sed 's/^ *//; s/  */ /g; s/,\([0-9]\)/, \1/g')"
check "its strings" $'FileVersion=1.0\nProductVersion=1.0\nProductName=Ferrolink\nhas a description\nhas a copyright' \
  "$(printf 'FileVersion=%s\nProductVersion=%s\nProductName=%s\n' "$(value FileVersion)" "$(value ProductVersion)" \
      "$(value ProductName)"
     [[ -n $(value FileDescription) ]] && echo "has a description"
     [[ $(value LegalCopyright) == Copyright* ]] && echo "has a copyright")"

readme=$tmp/x/README.txt
check "README.txt: Windows' line ends, CR LF, and no other" "0" "$(python3 -c 'import sys,re; d=open(sys.argv[1],"rb").read(); print(len(re.findall(rb"\r(?!\n)|(?<!\r)\n", d)))' "$readme")"
check "README.txt: plain ASCII" "" "$(LC_ALL=C grep -n '[^[:print:][:space:]]' "$readme")"
check "README.txt: names the version" "1" "$(grep -c "^Ferrolink $version"$'\r'"\$" "$readme")"
systems=$("$src/tests/compat/check-release" "$build/i686/bin/ferrolink.exe" | sed -n 's/: loads$//p')
check "README.txt: the systems check-release says it loads on" "$systems" \
  "$(tr -d '\r' < "$readme" | sed -n 's/^  - \(Windows .*\)$/\1/p')"

finish
