#!/usr/bin/env bash
# The real network's provider and share services against helpers that are
# missing, slow, die mid-answer, send what is malformed or do not hold the
# key: each call ends with the code Windows gives when there is no network
# at all (1222) and a line in the helper's log that says why, or with the
# helper's own code; a good answer arrives whole, and the provider keeps the
# router's contract. Runs inside a test world (private namespace).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
BUILD=${FERROLINK_BUILD:?run inside tests/world/run-in-world}
WINE=${WINELOADER:-/usr/lib/wine/wine64}
dir="Z:${BUILD//\//\\}\\bin\\lan"
work=$(mktemp -d)
passed=0 failed=0
helper=

all_codes() { # CODE: every call of a full run ends with it
  printf '%s\n' "provider top: $1" "provider IRONWORKS: $1" "provider \\\\ANVIL: $1" \
    "netapi32 ANVIL (all at once): $1" "netapi32 \\\\ANVIL (in passes): $1" \
    "svrapi ANVIL (1280 bytes): $1" "svrapi \\\\ANVIL (60 bytes): $1"
}
long=$(printf 'n%.0s' $(seq 9000))
good="provider top: 0
  IRONWORKS|0|1|2|ANVIL
  OFFICE|0|1|2|CLERK
provider IRONWORKS: 0
  \\\\ANVIL|0|2|2|Forge server
  \\\\BELLOWS|0|2|2|
provider \\\\ANVIL: 0
  \\\\ANVIL\\DOCS|1|3|1|Documents
  \\\\ANVIL\\LASER|2|3|1|Laser printer, first floor
  \\\\ANVIL\\A_NAME_OF_TWENTY_CHR|1|3|1|left out on 9x
  \\\\ANVIL\\Grüße|1|3|1|日本 and €
  \\\\ANVIL\\日本|1|3|1|left out on 9x
  \\\\ANVIL\\LONGNOTE|1|3|1|(null)
netapi32 ANVIL (all at once): 0 (10 of 10)
  DOCS|0|Documents
  LASER|1|Laser printer, first floor
  A_NAME_OF_TWENTY_CHR|0|left out on 9x
  Grüße|0|日本 and €
  日本|0|left out on 9x
  LONGNOTE|0|$long
  C\$|2147483648|Default share
  PRN\$|2147483649|Administrative printer
  IPC\$|2147483651|tab	here, line
break, 100%
  HIDDEN\$|0|
netapi32 \\\\ANVIL (in passes): 234 (2 of 10)
  DOCS|0|Documents
  LASER|1|Laser printer, first floor
netapi32 \\\\ANVIL (in passes): 234 (2 of 10)
  A_NAME_OF_TWENTY_CHR|0|left out on 9x
  Grüße|0|日本 and €
netapi32 \\\\ANVIL (in passes): 234 (1 of 10)
  日本|0|left out on 9x
netapi32 \\\\ANVIL (in passes): 234 (1 of 10)
  LONGNOTE|0|$long
netapi32 \\\\ANVIL (in passes): 234 (2 of 10)
  C\$|2147483648|Default share
  PRN\$|2147483649|Administrative printer
netapi32 \\\\ANVIL (in passes): 0 (2 of 10)
  IPC\$|2147483651|tab	here, line
break, 100%
  HIDDEN\$|0|
svrapi ANVIL (1280 bytes): 234 (3 of 8)
  DOCS|0|Documents
  LASER|1|Laser printer, first floor
  Grüße|0|?? and €
svrapi \\\\ANVIL (60 bytes): 234 (1 of 8)
  DOCS|0|Documents"
contract='disk shares: \\ANVIL\DOCS \\ANVIL\A_NAME_OF_TWENTY_CHR \\ANVIL\Grüße \\ANVIL\日本 \\ANVIL\LONGNOTE
print queues: \\ANVIL\LASER
containers among the shares:
connectable among the computers:
disk containers among the computers: \\ANVIL \\BELLOWS
an unknown type: 87
an unknown usage: 87
batches of up to 10 in 16,383 bytes: [\\ANVIL\DOCS \\ANVIL\LASER \\ANVIL\A_NAME_OF_TWENTY_CHR \\ANVIL\Grüße \\ANVIL\日本] [\\ANVIL\LONGNOTE (no comment)] 259
a buffer too small for a name: 1208, then \\ANVIL\LASER'

# run MODE "LANCHECK OPTION" EXPECTED [LOG LINE]
# MODE: a fake helper's mode; nokey (no key file named), nokeyfile (one
# named that is not there), stopped (a key file whose helper has gone).
run() {
  local mode=$1 option=$2 expected=$3 logline=${4:-} out start
  rm -rf "$work"/*
  case $mode in
    nokey) unset FERROLINK_LAN_KEY ;;
    nokeyfile) export FERROLINK_LAN_KEY=$work/key ;;
    *)
      coproc FAKE { exec python3 "$here/fake-helper" "$work" "${mode#stopped}"; }
      helper=$FAKE_PID
      read -r -t 10 _ <&"${FAKE[0]}" || { echo "FAIL $mode: the fake helper did not start"; failed=$((failed + 1)); return; }
      export FERROLINK_LAN_KEY=$work/key
      : > "$work/log"
      if [[ $mode == stopped ]]; then kill "$helper"; wait "$helper" 2>/dev/null; helper=; fi ;;
  esac
  start=$SECONDS
  # The 9x text is in the ANSI code page; everything else is UTF-8 already.
  out=$("$WINE" "$BUILD/bin/lancheck.exe" "$dir" $option 2>/dev/null | tr -d '\r' |
        awk '/^svrapi/ { ansi = 1 } /^(provider|netapi32)/ { ansi = 0 } { print ansi ? "A" $0 : "U" $0 }' |
        while IFS= read -r l; do if [[ ${l:0:1} == A ]]; then printf '%s\n' "${l:1}" | iconv -f CP1252 -t UTF-8 -c; else printf '%s\n' "${l:1}"; fi; done)
  if [[ -n $helper ]]; then kill "$helper" 2>/dev/null; wait "$helper" 2>/dev/null; helper=; fi
  local ok=1
  if [[ $out != "$expected" ]]; then
    ok=0
    echo "FAIL $mode $option:"; diff <(printf '%s\n' "$expected") <(printf '%s\n' "$out") | cut -c1-200 | sed 's/^/    /'
  fi
  if [[ -n $logline ]] && ! grep -q "windows: .*$logline" "$work/log" 2>/dev/null; then
    ok=0
    echo "FAIL $mode: the log does not say \"$logline\":"; sed 's/^/    /' "$work/log" 2>/dev/null | head -5
  fi
  if ((ok)); then echo "ok   $mode $option ($((SECONDS - start)) s)"; passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
trap '[[ -z $helper ]] || kill "$helper" 2>/dev/null; rm -rf "$work"' EXIT

run data "" "$good"
run data --contract "$contract"
run nokey "" "$(all_codes 1222)"
run nokeyfile "" "$(all_codes 1222)"
run stopped "" "$(all_codes 1222)" "no helper listens on 127.0.0.1"
run stopped --forged "forged: 1222" 'SHARES "EVIL%0A2026-01-01 00:00:00.000 windows: forged"'
run dies "" "$(all_codes 1222)" "malformed"
run garbage "" "$(all_codes 1222)" "malformed"
run count_lie "" "$(all_codes 1222)" "malformed"
run flood "" "$(all_codes 1222)" "too long"
run impostor "" "$(all_codes 1222)" "not the helper's"
run unsigned "" "$(all_codes 1222)" "malformed"
run denied "" "$(all_codes 5)"
run badpath "" "$(all_codes 53)"
run nobrowser "" "$(all_codes 6118)"
run slow --quick $'provider top: 1222\nnetapi32 ANVIL (all at once): 1222\nsvrapi ANVIL (1280 bytes): 1222' \
  "did not answer within 8000 ms"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
