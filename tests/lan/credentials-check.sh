#!/usr/bin/env bash
# The user's credentials file read by the helper as `smbclient -A` reads it:
# each file below is given to both against a server that refuses guests and
# knows one user, whose password ends in a blank, and both must come to the
# outcome written beside it (the share listed, or not). Runs inside the lan
# world lan-credentials.json (tests/world/lan-net).
set -uo pipefail
helper=${FERROLINK_LAN_HELPER:-$FERROLINK_BUILD/../linux/ferrolink-lan}
conf=${FERROLINK_LAN_CONF:?run inside the lan world}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
pw='Fl0w3rs in May '

# listed FILE: "yes" when smbclient -A FILE lists SECRET's share, and the
# same asked of the helper.
by_smbclient() {
  smbclient -s "$conf" -A "$1" -m SMB3 -g -L SECRET </dev/null 2>/dev/null | grep -q '^Disk|PRIVATE|' && echo yes || echo no
}
by_helper() {
  "$helper" --conf "$conf" --credentials "$1" --shares SECRET </dev/null 2>>"$work/helper.err" | grep -q '^PRIVATE	' && echo yes || echo no
}

check() { # WANT WHAT TEXT
  local f=$work/credentials smb ours
  printf '%s' "$3" >"$f"
  chmod 600 "$f"
  smb=$(by_smbclient "$f")
  ours=$(by_helper "$f")
  if [[ $smb == "$1" && $ours == "$1" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $2: expected $1, smbclient $smb, helper $ours"
  fi
}

check yes "the password with its trailing blank" $'username = daemon\npassword = '"$pw"$'\n'
check no  "the password without its trailing blank" $'username = daemon\npassword = '"${pw% }"$'\n'
check yes "capitalised keys" $'Username = daemon\nPASSWORD = '"$pw"$'\n'
check yes "a realm line" $'username = daemon\npassword = '"$pw"$'\nrealm = EXAMPLE.ORG\n'
check yes "blanks in keys and before values" $'  user name =\t daemon\npass word =   '"$pw"$'\n'
check yes "CRLF lines" $'username = daemon\r\npassword = '"$pw"$'\r\n'
check yes "DOMAIN\\user" $'username = HOMENET\\daemon\npassword = '"$pw"$'\n'
check yes "user%password" $'username = daemon%'"$pw"$'\n'
check no  "a wrong password" $'username = daemon\npassword = Fl0w3rs\n'
check no  "a trailing blank after the name" $'username = daemon \npassword = '"$pw"$'\n'
echo "credentials: $passed passed, $failed failed"
[[ $failed -eq 0 ]] || { cat "$work/helper.err" >&2; exit 1; }
