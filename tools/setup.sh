#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when a
# command or file they provide is missing, so a second run costs nothing.
set -euo pipefail
need=()
check() { # check PACKAGE PATH-OR-COMMAND
  if [[ $2 == /* ]]; then [[ -e $2 ]] || need+=("$1"); else command -v "$2" >/dev/null 2>&1 || need+=("$1"); fi
}
check g++-mingw-w64-x86-64-posix x86_64-w64-mingw32-g++-posix
# The release program: win32 threads, no winpthreads.
check g++-mingw-w64-i686-win32 i686-w64-mingw32-g++-win32
check cmake cmake
check make make
check wine wine
check wine64 /usr/lib/wine/wine64
check xvfb Xvfb
check xauth xauth
check xdotool xdotool
# By path: a stand-in `convert` elsewhere on PATH may front for a missing one.
check imagemagick /usr/bin/convert
check imagemagick /usr/bin/import
check nftables nft
check iproute2 ip
check googletest /usr/src/googletest/CMakeLists.txt
check nlohmann-json3-dev /usr/include/nlohmann/json.hpp
check fonts-wine /usr/share/wine/fonts/marlett.ttf
check python3 python3
check util-linux unshare
check jq jq
# The real network: Samba's client library for the helper, and Samba's
# servers and tools for the test world's peers.
check pkg-config pkg-config
check libsmbclient-dev /usr/include/samba-4.0/libsmbclient.h
# Share lists through Samba's libnetapi (NetShareEnum), and the line
# protocol's HMAC from Nettle.
check samba-dev /usr/include/samba-4.0/netapi.h
check nettle-dev /usr/include/nettle/hmac.h
check samba /usr/sbin/smbd
check smbclient smbclient
check samba-common-bin nmblookup
# Discovery's readers: XML with expat, HTTP with libcurl (the GnuTLS build,
# as Samba's libraries bring GnuTLS already); DNS with glibc's own.
check libexpat1-dev /usr/include/expat.h
check libcurl4-gnutls-dev /usr/include/x86_64-linux-gnu/curl/curl.h
# The fuzz targets: clang with libFuzzer and the sanitizers' runtimes.
check clang-14 clang++-14
check libclang-rt-14-dev /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
# Computers of today's networks in the test world: WS-Discovery and mDNS.
check wsdd /usr/sbin/wsdd
check avahi-daemon /usr/sbin/avahi-daemon
# The Debian package and the Windows zip (make deb, make dist) and their
# checks: Debian's build flags and package tools, lintian, the desktop
# entry's checker, zip.
check dpkg-dev dpkg-buildflags
check dpkg-dev dpkg-shlibdeps
check lintian lintian
check desktop-file-utils desktop-file-validate
check zip zip
check unzip unzip
if ((${#need[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing packages: ${need[*]} (run as root, or install them)" >&2
    exit 1
  fi
  mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # No daemon may start on this machine while packages are installed (Samba's
  # would): a policy that refuses every start, unless there is one already.
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && own_policy=1
  fi
  status=0
  apt-get install -y -q --no-install-recommends "${need[@]}" || status=$?
  [[ $own_policy -eq 0 ]] || rm -f "$policy"
  [[ $status -eq 0 ]] || exit "$status"
fi
