#!/usr/bin/env bash
# check-deb.sh BUILD: the Debian package make deb wrote into BUILD, as a
# maintainer and a user would check it: lintian reports no error and no
# warning; its control names what it needs as Debian names it; it holds the
# launcher, the desktop entry, the hicolor icons (the exe's own icon at 16
# and 32 pixels), the man page and the program's parts, nothing under
# /usr/local or outside /usr, and no path of this checkout or its build; its
# exe is the x86_64 build's; apt would install it on this machine;
# installed into a dpkg root of its own and removed, it leaves nothing
# behind.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
build=$(cd "${1:?BUILD}" && pwd)
version=$(dpkg-parsechangelog -l "$src/packaging/changelog" -S Version)
deb=$build/ferrolink_${version}_amd64.deb
[[ -f $deb ]] || { echo "no $deb: make deb first"; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
. "$here/checks.sh"

# lintian: what it says is printed; an error or a warning fails.
lintian --fail-on error,warning --info --display-level ">=pedantic" --show-overrides "$deb" > "$tmp/lintian" 2>&1
lintian_status=$?
sed 's/^/    lintian: /' "$tmp/lintian"
check "lintian: no error and no warning" "" "$(grep -E '^[EW]: ' "$tmp/lintian")"
check "lintian passes (--fail-on error,warning)" "0" "$lintian_status"

field() { dpkg-deb -f "$deb" "$1"; }
check "Package, Version, Architecture" "ferrolink $version amd64" "$(field Package) $(field Version) $(field Architecture)"
deps() { field "$1" | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//' | sort -u; }
for dep in wine64 fonts-wine libsmbclient libc6; do
  check "Depends: $dep" "$dep" "$(deps Depends | grep -x "$dep")"
done
check "Recommends: xdg-utils" "xdg-utils" "$(deps Recommends | grep -x xdg-utils)"
# What apt would do with it on this machine, which has what make test
# needs (Wine, Samba's libraries): the dependencies resolve, versions too.
check_cmd "apt would install it here (simulated)" apt-get -s -q -o Debug::NoLocking=1 --no-install-recommends install "$deb"

# The file list.
dpkg-deb -c "$deb" | awk '{print $1, $6}' > "$tmp/list"
for want in "-rwxr-xr-x ./usr/bin/ferrolink" "-rw-r--r-- ./usr/share/applications/ferrolink.desktop" \
            "-rw-r--r-- ./usr/share/icons/hicolor/16x16/apps/ferrolink.png" \
            "-rw-r--r-- ./usr/share/icons/hicolor/32x32/apps/ferrolink.png" \
            "-rw-r--r-- ./usr/share/icons/hicolor/48x48/apps/ferrolink.png" \
            "-rw-r--r-- ./usr/share/icons/hicolor/256x256/apps/ferrolink.png" \
            "-rw-r--r-- ./usr/share/man/man1/ferrolink.1.gz" "-rw-r--r-- ./usr/share/doc/ferrolink/copyright" \
            "-rwxr-xr-x ./usr/lib/ferrolink/ferrolink-lan" "-rw-r--r-- ./usr/lib/ferrolink/libferrolink-names.so" \
            "-rwxr-xr-x ./usr/lib/ferrolink/wine-prefix" "-rw-r--r-- ./usr/lib/ferrolink/windows/ferrolink.exe" \
            "-rw-r--r-- ./usr/lib/ferrolink/windows/ferrolan.dll" "-rw-r--r-- ./usr/lib/ferrolink/windows/netapi32.dll" \
            "-rw-r--r-- ./usr/lib/ferrolink/windows/svrapi.dll" "-rw-r--r-- ./usr/lib/ferrolink/windows/lan-open.exe"; do
  check "holds ${want#* }" "$want" "$(grep -xF -- "$want" "$tmp/list")"
done
check "nothing outside /usr, nothing under /usr/local" "" \
  "$(awk '{print $2}' "$tmp/list" | grep -vxE '\./|\./usr/|\./usr/(bin|lib|share)/.*' ; grep -F ./usr/local "$tmp/list")"

dpkg -x "$deb" "$tmp/root"
check "no file names this checkout or its build" "" \
  "$(grep -rlF -e "$src" -e "$build" "$tmp/root" | sed "s|^$tmp/root||")"
check_cmd "the exe is the x86_64 build's (the one make lan runs)" \
  cmp "$tmp/root/usr/lib/ferrolink/windows/ferrolink.exe" "$build/x86_64/bin/lan/ferrolink.exe"
check "the launcher knows its version" "ferrolink ${version%%-*}" "$("$tmp/root/usr/bin/ferrolink" --version)"

# The desktop entry and its icon.
entry=$tmp/root/usr/share/applications/ferrolink.desktop
check_cmd "desktop-file-validate" desktop-file-validate "$entry"
check "the entry: the launcher, its icon, in Network" "ferrolink ferrolink yes" \
  "$(sed -n 's/^Exec=//p' "$entry") $(sed -n 's/^Icon=//p' "$entry") \
$(grep -q '^Categories=\(.*;\)*Network;' "$entry" && echo yes)"
icons=$tmp/root/usr/share/icons/hicolor
for size in 16 32 48 256; do
  check "the ${size}-pixel icon is ${size}x$size with alpha" "${size}x$size srgba" \
    "$(identify -format '%wx%h %[channels]' "$icons/${size}x$size/apps/ferrolink.png")"
done
# The exe's own icon: its 32-bit images at 32 and 16 pixels, pixel for
# pixel (the .ico's directory says which image is which; ImageMagick
# decodes both files).
ico_image() { # SIZE: the index of the 32-bit image of that size in res/ferrolink.ico
  python3 -c 'import struct, sys
d = open(sys.argv[1], "rb").read()
for i in range(struct.unpack_from("<H", d, 4)[0]):
    w, h, _, _, _, bits, _, _ = struct.unpack_from("<BBBBHHII", d, 6 + 16 * i)
    if w == h == int(sys.argv[2]) and bits == 32:
        print(i)' "$src/res/ferrolink.ico" "$1"
}
for size in 32 16; do
  check "the ${size}-pixel icon is the exe's" \
    "$(convert "$src/res/ferrolink.ico[$(ico_image "$size")]" rgba:- | md5sum)" \
    "$(convert "$icons/${size}x$size/apps/ferrolink.png" rgba:- | md5sum)"
done

# Installed into a dpkg database of its own, then removed: nothing is left
# but dpkg's own records.
r=$tmp/dpkgroot
mkdir -p "$r/var/lib/dpkg/info" "$r/var/lib/dpkg/updates" "$r/var/lib/dpkg/triggers"
touch "$r/var/lib/dpkg/status" "$r/var/lib/dpkg/available"
dpkgr() { dpkg --root="$r" --log="$tmp/dpkg.log" --force-depends "$@"; }
check_cmd "dpkg installs it into a root of its own" dpkgr -i "$deb"
check "installed: the launcher is there" "yes" "$([[ -x $r/usr/bin/ferrolink ]] && echo yes)"
check_cmd "dpkg removes it (as apt remove does: no purge)" dpkgr -r ferrolink
check "removed: nothing is left" "" "$(cd "$r" && find . -mindepth 1 ! -path './var/lib/dpkg*' ! -path ./var/lib ! -path ./var)"

finish
