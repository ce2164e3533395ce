#!/usr/bin/env bash
# The Debian package as a user meets it (tests/world/lan-net with
# FERROLINK_LAN_PEERS_ONLY=1: the Samba peers of the world, and no helper:
# the launcher starts its own). Its files are unpacked into a root of this
# test's own (dpkg -x: nothing changes on the machine), and the installed
# launcher is started as the desktop entry's Exec line says, from a desktop
# (no terminal) with a home of its own and nothing of the test world's
# environment. The first start says on the desktop that it is preparing;
# the window shows the computers Samba's tools report, a computer that
# refuses guests lists its shares with the credentials in the user's
# folder, and a click on a share reaches the opener as smb://. After the
# close the launcher has ended with 0 and the home holds only the prefix,
# state and log README names; the installed files are as unpacked.
source "$(dirname "$0")/lib.sh"
LAN_NET=$(cd "$(dirname "$0")/../../world" && pwd)/lan-net
DEB=${1:?the package}
tmp=$(mktemp -d)
root=$tmp/root
home=$tmp/home
dpkg -x "$DEB" "$root"
installed() { (cd "$root" && find . -printf '%p %m %s\n' -type f -exec md5sum {} + | sort); }
before=$(installed)

# The user's credentials, where the manual says, as the user keeps them.
mkdir -p "$home/.config/ferrolink"
install -m 600 "${FERROLINK_LAN_CREDENTIALS:?the world has a user}" "$home/.config/ferrolink/credentials"
# The desktop's boxes and notifications, recorded.
mkdir "$tmp/desktop"
for tool in zenity kdialog notify-send xmessage; do
  printf '#!/bin/sh\n{ printf "%%s" "$(basename "$0")"; printf " %%s" "$@"; echo; } >> %q\n' "$tmp/notices" \
    > "$tmp/desktop/$tool"
  chmod +x "$tmp/desktop/$tool"
done
touch "$tmp/notices"

entry=$root/usr/share/applications/ferrolink.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
check "the desktop entry runs the launcher" "ferrolink" "${exec_line%% *}"
(
  cd "$home"
  exec env -i HOME="$home" USER=root LOGNAME=root PATH="$root/usr/bin:$tmp/desktop:/usr/bin:/bin" \
    DISPLAY="$DISPLAY" LANG=C.UTF-8 FERROLINK_LAN_SMBCONF="$FERROLINK_LAN_CONF" \
    FERROLINK_LAN_OPENER="$FERROLINK_LAN_OPENER" FERROLINK_RECORD_FILE="$FERROLINK_RECORD_FILE" \
    FERROLINK_LAN_DISCOVER_HOSTS="$FERROLINK_LAN_DISCOVER_HOSTS" \
    sh -c "exec $exec_line" </dev/null >"$tmp/launcher.out" 2>&1
) &
launcher=$!
APP_PID=$launcher
prefix=$home/.local/share/ferrolink/wineprefix
export WINEPREFIX=$prefix
for _ in $(seq 1200); do
  [[ -f $prefix/.ferrolink-ready ]] && break
  kill -0 "$launcher" 2>/dev/null || break
  sleep 0.1
done
if ! drv wait-window 60000 >/dev/null; then
  fail "the window did not open: $(cat "$tmp/launcher.out")"
  finish
  exit 1
fi
check "the first start told the desktop it is preparing" "1" \
  "$(grep -c '^notify-send .*Preparing Ferrolink' "$tmp/notices")"
check_cmd "the walk completes" drv wait-status "Net update complete" 30000
tree=$(drv tree)
check "tree: the computers Samba's tools report, in order" "$(python3 "$LAN_NET" tree)" "$tree"
# Each computer's rows as smbclient lists them, asked first: Samba's first
# answer on a cold server is its slowest.
secret=$(jq -r '.lan.workgroups[].computers[] | select(.user) | .name' "$FERROLINK_LAN_WORLD")
want=$(python3 "$LAN_NET" shares "$secret")
drv select "$secret" 20000 >/dev/null
check "$secret, which refuses guests: its shares, with the user's credentials" "$want" "$(drv list)"

first=$(head -n 1 <<<"$tree")
want=$(python3 "$LAN_NET" shares "$first")
drv select "$first" 20000 >/dev/null
check "$first: its shares" "$want" "$(drv list)"
share=$(drv list | head -n 1 | cut -f 1)
: > "$FERROLINK_RECORD_FILE"
drv activate 0 >/dev/null
for _ in $(seq 100); do [[ -s $FERROLINK_RECORD_FILE ]] && break; sleep 0.1; done
check "a click hands smb://$first/$share to the opener" "smb://$first/$share" \
  "$(tr -d '\r' < "$FERROLINK_RECORD_FILE")"

drv close 10000 >/dev/null
status=0
wait "$launcher" || status=$?
APP_PID=
check "the launcher ends with the window, status 0" "0" "$status"
# The prefix's Wine server ends by itself a few seconds after its last
# program; it may write the registry until then.
timeout 30 "$WINESERVER" -w
check "nothing else was shown on the desktop" "" "$(grep -v '^notify-send .*Preparing Ferrolink' "$tmp/notices")"
check "the home holds the credentials, the prefix and the log, nothing else" \
  "$(printf '%s\n' .config .config/ferrolink .config/ferrolink/credentials .local .local/share \
       .local/share/ferrolink .local/share/ferrolink/wineprefix .local/state .local/state/ferrolink \
       .local/state/ferrolink/lan.log)" \
  "$(cd "$home" && find . -mindepth 1 -path ./.local/share/ferrolink/wineprefix -prune -print -o -print |
     sed 's|^\./||' | sort)"
check_cmd "the helper's log is in the state folder" test -s "$home/.local/state/ferrolink/lan.log"
check "the installed files are as unpacked" "$before" "$(installed)"
if [[ $FAILED -ne 0 ]]; then
  echo "the launcher said:"; sed 's/^/    /' "$tmp/launcher.out"
  echo "its log:"; sed 's/^/    /' "$home/.local/state/ferrolink/lan.log"
fi
rm -rf "$tmp"
finish
