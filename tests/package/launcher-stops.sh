#!/usr/bin/env bash
# The installed launcher (dpkg -x into a root of this test's own) when it
# cannot start, one case a row: the status it ends with, what it says, and
# whether a user who started it from the desktop (no terminal) is shown why
# in a box or notification; from a terminal the line alone. Each run has a
# home of its own, and none leaves a run folder or a process behind.
# Runs inside tests/world/run-in-world (a display, a network of its own).
# SHOW=1 prints what each start said and what the desktop was shown.
set -uo pipefail
DEB=${1:?the package}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
dpkg -x "$DEB" "$root"
mkdir "$tmp/desktop"
for tool in zenity kdialog notify-send xmessage; do
  printf '#!/bin/sh\n{ printf "%%s" "$(basename "$0")"; printf " %%s" "$@"; cat 2>/dev/null; echo; } >> %q\n' \
    "$tmp/notices" > "$tmp/desktop/$tool"
  chmod +x "$tmp/desktop/$tool"
done
# A port that is taken, in this world's own network.
python3 -c 'import socket,sys,time
s=socket.socket(); s.bind(("127.0.0.1",0)); s.listen(); print(s.getsockname()[1], flush=True); time.sleep(600)' \
  > "$tmp/port" &
holder=$!
for _ in $(seq 50); do [[ -s $tmp/port ]] && break; sleep 0.1; done
port=$(cat "$tmp/port")
passed=0
failed=0

# run NAME STATUS TEXT DESKTOP(yes|no) HOW [ENV=VALUE ...]: one start.
# HOW: "desktop" (no terminal) or "terminal", and with "+open" a
# credentials file that others may read.
run() {
  local name=$1 want=$2 text=$3 desktop=$4 how=$5
  shift 5
  local home=$tmp/home-$name out status problems=()
  mkdir -p "$home/.config/ferrolink"
  printf 'username = clerk\npassword = secret\n' > "$home/.config/ferrolink/credentials"
  chmod 600 "$home/.config/ferrolink/credentials"
  [[ $how != *+open ]] || chmod 644 "$home/.config/ferrolink/credentials"
  : > "$tmp/notices"
  local cmd=(env -i HOME="$home" PATH="$root/usr/bin:$tmp/desktop:/usr/bin:/bin" DISPLAY="$DISPLAY"
             LANG=C.UTF-8 "$@" ferrolink)
  if [[ $how == terminal* ]]; then
    # A terminal of its own: script(1) runs the command on a pseudo-terminal.
    script -qefc "$(printf '%q ' "${cmd[@]}")" /dev/null </dev/null >"$tmp/out" 2>&1
    status=$?
    out=$(tr -d '\r' <"$tmp/out")
  else
    out=$("${cmd[@]}" </dev/null 2>&1)
    status=$?
  fi
  [[ $status == "$want" ]] || problems+=("status $status, not $want")
  grep -qF -- "$text" <<<"$out" || problems+=("it did not say \"$text\": $out")
  local shown
  shown=$(cat "$tmp/notices")
  if [[ $desktop == yes ]]; then
    grep -qF -- "$text" <<<"$shown" || problems+=("the desktop was not shown \"$text\": ${shown:-nothing}")
  else
    [[ -z $shown ]] || problems+=("the desktop was shown: $shown")
  fi
  local left
  left=$(cd "$home" && find .local -mindepth 1 ! -path .local/share ! -path .local/share/ferrolink \
         ! -path .local/state ! -path .local/state/ferrolink ! -path .local/state/ferrolink/lan.log 2>/dev/null)
  [[ -z $left ]] || problems+=("it left $left")
  [[ -z ${SHOW:-} ]] || { echo "  said: $out"; echo "  shown: $shown"; }
  if ((${#problems[@]})); then
    failed=$((failed + 1)); echo "FAIL: $name"; printf '    %s\n' "${problems[@]}"
  else
    passed=$((passed + 1)); echo "ok: $name"
  fi
}

creds() { echo "$tmp/home-$1/.config/ferrolink/credentials"; }
# name              status what it says                        shown  how            settings
run credentials-open 1 "$(creds credentials-open)"             yes  desktop+open
run port-taken       1 "127.0.0.1:$port"                       yes  desktop        FERROLINK_LAN_PORT="$port"
run no-wine          2 "install the package wine64"            yes  desktop        FERROLINK_WINE="$tmp/none/wine64"
run not-a-port       2 "FERROLINK_LAN_PORT is not a port"      yes  desktop        FERROLINK_LAN_PORT=http
run no-display       2 "needs a graphical display"             no   desktop        DISPLAY=
run on-a-terminal    1 "$(creds on-a-terminal)"                no   terminal+open

kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
