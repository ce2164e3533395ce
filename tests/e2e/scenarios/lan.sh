#!/usr/bin/env bash
# The program on a real network of Samba peers (tests/world/lan-net), as a
# user meets it: the tree holds exactly the computers that Samba's own tools
# report, in the router's order; each computer's rows exactly the shares
# `smbclient -L` reports at the world's own address for it (and the world
# file names), or the rows the world file gives by hand where a rule of the
# program's applies (lan-net shares); a stopped server and a silent computer give
# their status texts; a click on a disk share opens it in the shell.
# A workgroup whose browser is gone costs its own request, not the walk.
# FAMILY=9x: the 9x share service, whose records carry 12-character names
# and 16-bit types. A world with a "liar" (lan-net) has a computer that
# claims others' names: the tree and rows stay the honest world's, the
# liar shows only as itself, and nothing of the program's reaches it
# (no echo, no connection) but when the user selects it.
source "$(dirname "$0")/lib.sh"
LAN_NET=$(cd "$(dirname "$0")/../../world" && pwd)/lan-net
WORLD_FILE=${WORLD_FILE:?the world file}
FAMILY=${FAMILY:-nt}
ansi() { iconv -f CP1252 -t UTF-8 -c; }
computers() { jq -r ".lan.workgroups[] | select(.stale | not) | .computers[] | select($1) | .name" "$WORLD_FILE"; }
liar=$(jq -r '.lan.liar.name // empty' "$WORLD_FILE")
liar_echoes() {
  ip netns exec flliar nft list chain inet liar in | grep -o 'counter packets [0-9]*' | awk '{n += $3} END {print n + 0}'
}
log_unix=$(mktemp -d)/status.log
export FERROLINK_STATUS_LOG="Z:${log_unix//\//\\}"

# What smbclient lists, as this family's service gives it to the program.
expected_rows() {
  if [[ $FAMILY == 9x ]]; then python3 "$LAN_NET" shares "$1" --9x; else python3 "$LAN_NET" shares "$1"; fi
}

start_app || { finish; exit 1; }
check_cmd "the walk completes" drv wait-status "Net update complete" 30000
check "no box on the way" "" "$(drv no-messagebox 300 2>&1)"
tree=$(drv tree | ansi)
samba=$(python3 "$LAN_NET" tree)
check "tree: the computers Samba's tools report, in order" "$samba" "$tree"
check "tree: every computer of the world whose browser answers" \
  "$({ computers true; [[ -z $liar ]] || echo "$liar"; } | sort)" "$(sort <<<"$tree")"
for group in $(jq -r '.lan.workgroups[] | select(.stale) | .name' "$WORLD_FILE"); do
  check "the stale workgroup $group: no browser, once" "1" \
    "$(grep -c "SERVERS \"$group\": error 6118" "$FERROLINK_LAN_LOG")"
done

stopped=$(computers '.server == "stopped"')
silent=$(computers '.echo == "drop"')
while read -r name; do
  [[ -n $name && $name != "$liar" ]] || continue
  : > "$log_unix"
  if ! out=$(drv --trace-status select "$name" 20000 2>&1); then fail "$name: select: $out"; continue; fi
  statuses=$(tr -d '\r' < "$log_unix" | ansi)
  rows=$(drv list | ansi)
  if grep -qx "$name" <<<"$silent"; then
    check "$name (silent): status texts" $'Ping in progress (250 ms)...\nPing failed (250 ms)' "$statuses"
    check "$name (silent): rows" "" "$rows"
  elif grep -qx "$name" <<<"$stopped"; then
    check "$name (server stopped): status texts" \
      $'Ping in progress (250 ms)...\nPing succeeded, scanning for shares...\nFailed to get access\nDone' "$statuses"
    check "$name (server stopped): rows" "" "$rows"
  else
    check "$name: status texts" $'Ping in progress (250 ms)...\nPing succeeded, scanning for shares...\nDone' "$statuses"
    if expected=$(expected_rows "$name"); then
      check "$name: rows as the world has them and smbclient lists them" "$expected" "$rows"
    else
      fail "$name: smbclient does not list the world's shares (see above)"
    fi
  fi
  check "$name: location bar" "Share resources at: \\\\$name" "$(drv location | ansi)"
done <<<"$tree"

# A click on the first computer's first share, a disk share: Wine's shell
# hands it to lan-open.exe, which gives the desktop smb://COMPUTER/SHARE
# (here the world's opener, which records it).
first=$(head -n 1 <<<"$tree")
share=$(drv select "$first" >/dev/null; drv list | head -n 1 | cut -f 1)
: > "$FERROLINK_RECORD_FILE"
drv activate 0 >/dev/null
for _ in $(seq 100); do [[ -s $FERROLINK_RECORD_FILE ]] && break; sleep 0.1; done
check "a click hands smb://$first/$share to the desktop" "smb://$first/$share" "$(tr -d '\r' < "$FERROLINK_RECORD_FILE")"
check "the opener runs without the names library and its variables" "" \
  "$(grep -E '^(LD_PRELOAD|FERROLINK_LAN_)' "$FERROLINK_RECORD_FILE")"
if [[ -n $liar ]]; then
  # Every computer selected, a share opened, the user's credentials in
  # play: the liar was sent nothing, whatever names it claimed.
  check "the liar: no connection to its SMB or WS-Discovery ports" "" "$(cat "$FERROLINK_LAN_LIAR_LOG")"
  check "the liar: no echo" "0" "$(liar_echoes)"
  for claimed in $(jq -r '.lan.liar.claims[]' "$WORLD_FILE"); do
    check "the name $claimed, claimed by two, is nobody's" "1" \
      "$(grep -m 1 -c "the name $claimed, claimed by .*: it is nobody's" "$FERROLINK_LAN_LOG")"
  done
  # Selected by the user, the liar is asked as itself: at its own address.
  : > "$log_unix"
  drv --trace-status select "$liar" 20000 >/dev/null 2>&1
  check "$liar (the liar, selected): status texts" \
    $'Ping in progress (250 ms)...\nPing succeeded, scanning for shares...\nFailed to get access\nDone' \
    "$(tr -d '\r' < "$log_unix" | ansi)"
  own=127.77.0.$(jq -r '.lan.liar.at' "$WORLD_FILE")
  check "$liar: connections only to its own address" "" "$(grep -v "^$own " "$FERROLINK_LAN_LIAR_LOG")"
fi
# What discovery found, by unicast to the world's addresses: each computer
# under the first protocol that named it (NetBIOS, then WS-Discovery, then
# mDNS), as many as the world has answering each way, in the first pass; a
# name the liar claims is nobody's, and the liar counts as itself.
found=$(grep -m 1 -o 'discovery: [0-9]* computers.*' "$FERROLINK_LAN_LOG")
up='.lan.workgroups[] | select(.stale | not) | .computers[] | select((.name | IN($claims[])) | not)'
claims=$(jq -c '[.lan.liar.claims // {} | .[]]' "$WORLD_FILE")
declare -A answers=(
  [NetBIOS]="$up | select(.nmbd != false)"
  [WS-Discovery]="$up | select(.nmbd == false and .wsdd == true)"
  [mDNS]="$up | select(.nmbd == false and (.wsdd | not) and .avahi == true)")
total=0
for how in NetBIOS WS-Discovery mDNS; do
  want=$(jq --argjson claims "$claims" "[${answers[$how]}] | length" "$WORLD_FILE")
  [[ $how != NetBIOS || -z $liar ]] || want=$((want + 1))
  total=$((total + want))
  check "discovery: $want computers by $how" "$want" "$(grep -o "($how)" <<<"$found" | wc -l)"
done
check "discovery: $total computers in all" "discovery: $total computers" "$(grep -o 'discovery: [0-9]* computers' <<<"$found")"
# The client's own namespace drops multicast too, counted: the helper, the
# program and Samba's tools here sent none.
check "nothing multicast from the client" "0" \
  "$(nft list chain inet flmcast out | grep -o 'counter packets [0-9]*' | awk '{n += $3} END {print n + 0}')"
# Each computer under its workgroup, as the provider gives them to Windows
# (the program's tree shows the computers alone): a computer announced by
# mDNS alone, which names no workgroup, under the one its server tells.
groups=$("$WINE" "$FERROLINK_BUILD/bin/lancheck.exe" "Z:${FERROLINK_BUILD//\//\\}\\bin\\lan" --tree | tr -d '\r')
check "each computer under the workgroup Samba's tools and the computers themselves report" \
  "$(python3 "$LAN_NET" groups)" "$groups"
check "each computer under the workgroup its server is set up with" \
  "$({ jq -r '.lan.workgroups[] | select(.stale | not) | .name as $g | .computers[] | "\($g)\t\(.name)"' "$WORLD_FILE"
       jq -r '.lan.liar // empty | "\(.workgroup)\t\(.name)"' "$WORLD_FILE"; } | sort)" \
  "$(sort <<<"$groups")"
# The helper never asks for a password on a terminal: as a guest, at a
# server that refuses guests, it answers 5 and the terminal shows no prompt.
helper=${FERROLINK_LAN_HELPER:-$FERROLINK_BUILD/../linux/ferrolink-lan}
for name in $(jq -r '.lan.workgroups[].computers[] | select(.user) | .name' "$WORLD_FILE"); do
  shown=$(timeout 60 script -qec "'$helper' --shares $name --conf '$FERROLINK_LAN_CONF'" /dev/null </dev/null | tr -d '\r')
  check "$name, as a guest on a terminal: access denied, no prompt" "denied 1, prompts 0" \
    "denied $(grep -c "^ferrolink-lan: $name: error 5 " <<<"$shown"), prompts $(grep -ci 'password' <<<"$shown")"
done
check "the helper refused no connection" "0" "$(grep -cE ' refused [0-9]+ connection' "$FERROLINK_LAN_LOG")"
finish
