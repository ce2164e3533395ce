#!/usr/bin/env bash
# The real network's provider and share services against helpers that are
# missing, slow, die mid-answer or send what is malformed: each call ends
# with the code Windows gives for an unreachable network (1222 for the
# provider, 53 for a share list), or the helper's own code, and a good
# answer arrives whole. Runs inside a test world (private namespace).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
BUILD=${FERROLINK_BUILD:?run inside tests/world/run-in-world}
WINE=${WINELOADER:-/usr/lib/wine/wine64}
dir="Z:${BUILD//\//\\}\\bin\\lan"
export FERROLINK_LAN_PORT=14999
passed=0 failed=0
helper=

unreachable='provider top: 1222
provider IRONWORKS: 1222
provider \\ANVIL: 1222
netapi32 ANVIL (all at once): 53
netapi32 \\ANVIL (in passes): 53
svrapi ANVIL (1280 bytes): 53
svrapi \\ANVIL (60 bytes): 53'
quick_unreachable='provider top: 1222
netapi32 ANVIL (all at once): 53
svrapi ANVIL (1280 bytes): 53'
good='provider top: 0
  IRONWORKS|0|1|2|ANVIL
  OFFICE|0|1|2|CLERK
provider IRONWORKS: 0
  \\ANVIL|0|2|2|Forge server
  \\BELLOWS|0|2|2|
provider \\ANVIL: 0
  \\ANVIL\DOCS|1|3|1|Documents
  \\ANVIL\LASER|2|3|1|Laser printer, first floor
  \\ANVIL\A_NAME_OF_TWENTY_CHR|1|3|1|cut to twelve on 9x
  \\ANVIL\Grüße|1|3|1|日本 and €
netapi32 ANVIL (all at once): 0 (7 of 7)
  DOCS|0|Documents
  LASER|1|Laser printer, first floor
  A_NAME_OF_TWENTY_CHR|0|cut to twelve on 9x
  Grüße|0|日本 and €
  C$|2147483648|Default share
  IPC$|2147483651|tab	here, line
break, 100%
  HIDDEN$|0|
netapi32 \\ANVIL (in passes): 234 (2 of 7)
  DOCS|0|Documents
  LASER|1|Laser printer, first floor
netapi32 \\ANVIL (in passes): 234 (2 of 7)
  A_NAME_OF_TWENTY_CHR|0|cut to twelve on 9x
  Grüße|0|日本 and €
netapi32 \\ANVIL (in passes): 0 (3 of 7)
  C$|2147483648|Default share
  IPC$|2147483651|tab	here, line
break, 100%
  HIDDEN$|0|
svrapi ANVIL (1280 bytes): 0 (7 of 7)
  DOCS|0|Documents
  LASER|1|Laser printer, first floor
  A_NAME_OF_TW|0|cut to twelve on 9x
  Grüße|0|?? and €
  C$|0|Default share
  IPC$|3|tab	here, line
break, 100%
  HIDDEN$|0|
svrapi \\ANVIL (60 bytes): 234 (1 of 7)
  DOCS|0|Documents'

# mode | lancheck option | expected
run_mode() {
  local mode=$1 option=$2 expected=$3 out start
  if [[ $mode != absent ]]; then
    coproc FAKE { exec python3 "$here/fake-helper" "$FERROLINK_LAN_PORT" "$mode"; }
    helper=$FAKE_PID
    read -r -t 10 line <&"${FAKE[0]}" || { echo "FAIL $mode: the fake helper did not start"; failed=$((failed + 1)); return; }
  fi
  start=$SECONDS
  # The 9x text is in the ANSI code page; everything else is UTF-8 already.
  out=$("$WINE" "$BUILD/bin/lancheck.exe" "$dir" $option 2>/dev/null | tr -d '\r' |
        awk '/^svrapi/ { ansi = 1 } /^(provider|netapi32)/ { ansi = 0 } { print ansi ? "A" $0 : "U" $0 }' |
        while IFS= read -r l; do if [[ ${l:0:1} == A ]]; then printf '%s\n' "${l:1}" | iconv -f CP1252 -t UTF-8 -c; else printf '%s\n' "${l:1}"; fi; done)
  if [[ -n $helper ]]; then kill "$helper" 2>/dev/null; wait "$helper" 2>/dev/null; helper=; fi
  if [[ $out == "$expected" ]]; then
    echo "ok   $mode ($((SECONDS - start)) s)"; passed=$((passed + 1))
  else
    echo "FAIL $mode:"; diff <(printf '%s\n' "$expected") <(printf '%s\n' "$out") | sed 's/^/    /'; failed=$((failed + 1))
  fi
}
trap '[[ -z $helper ]] || kill "$helper" 2>/dev/null' EXIT

run_mode data "" "$good"
run_mode absent "" "$unreachable"
run_mode dies "" "$unreachable"
run_mode garbage "" "$unreachable"
run_mode count_lie "" "$unreachable"
run_mode flood "" "$unreachable"
run_mode badpath "" "$unreachable"
run_mode denied "" "$(sed -e 's/: 1222$/: 5/' -e 's/: 53$/: 5/' <<<"$unreachable")"
run_mode slow --quick "$quick_unreachable"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
