#!/usr/bin/env bash
# One world of bad data, run as a user would meet it. What must happen is in
# the world file itself, under "expect":
#   boxes            the walk's message boxes, in order (default: none)
#   walk_timeout_ms  how long the walk may take (default 30000)
#   tree             the whole tree, in order; or tree_count with tree_head
#                    and tree_tail, its first and last items
#   close_walking    close the window before the walk ends: the process must
#                    end promptly all the same
#   views            selections, each {select: NAME or #INDEX, statuses: the
#                    status texts in order, list: rows as [name, type,
#                    comment] (or list_count with list_head), location}
# A text may be {"char": C, "count": N}: N copies of C, or an array of
# texts, joined. The program's texts
# are read in the ANSI code page and compared as UTF-8.
source "$(dirname "$0")/lib.sh"
WORLD_FILE=${WORLD_FILE:?the world file}

# jq over the expectations, with texts expanded.
JQ_DEFS='def text: if type == "object" then (if .count > 0 then .char * .count else "" end)
                   elif type == "array" then map(text) | join("") else . end;
         def row: if type == "array" then map(text) | join("\t") else text end;'
expect() { jq -r "$JQ_DEFS .expect | $1" "$WORLD_FILE"; }
ansi() { iconv -f CP1252 -t UTF-8 -c; }

log_unix=$(mktemp -d)/status.log
export FERROLINK_STATUS_LOG="Z:${log_unix//\//\\}"

alive() {
  if kill -0 "$APP_PID" 2>/dev/null && drv status >/dev/null 2>&1; then pass "$1: the program still answers"; else fail "$1: the program is gone or does not answer"; fi
}

start_app || { finish; exit 1; }

n=$(expect '.boxes // [] | length')
for ((i = 0; i < n; i++)); do
  check "walk box $((i + 1))" "$(expect ".boxes[$i]")" "$(drv messagebox 20000 2>&1 | ansi)"
done

if [[ $(expect '.close_walking // false') == true ]]; then
  check_cmd "the walk has begun" drv wait-tree "$(expect '.tree_count // 1')" 10000
  check "still walking" "Net update in progress..." "$(drv status)"
  pid=$APP_PID
  check_cmd "the window closes" drv close 4000
  for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then fail "process still running after close"; else pass "process gone"; fi
  wait "$pid" 2>/dev/null
  APP_PID=
  finish
  exit
fi

check_cmd "the walk completes" drv wait-status "Net update complete" "$(expect '.walk_timeout_ms // 30000')"
check "no further box" "" "$(drv no-messagebox 300 2>&1)"

tree=$(drv tree | ansi)
count() { if [[ -z $1 ]]; then echo 0; else printf '%s\n' "$1" | grep -c ''; fi; }
if [[ $(expect 'has("tree")') == true ]]; then
  check "tree" "$(expect '.tree[] | text')" "$tree"
else
  check "tree: count" "$(expect '.tree_count')" "$(count "$tree")"
  check "tree: first items" "$(expect '.tree_head // [] | .[] | text')" "$(printf '%s\n' "$tree" | head -n "$(expect '.tree_head // [] | length')")"
  check "tree: last items" "$(expect '.tree_tail // [] | .[] | text')" "$(printf '%s\n' "$tree" | tail -n "$(expect '.tree_tail // [] | length')")"
fi

n=$(expect '.views // [] | length')
for ((i = 0; i < n; i++)); do
  v=".views[$i]"
  sel=$(expect "$v.select")
  : > "$log_unix"
  if ! out=$(drv --trace-status select "$sel" "$(expect "$v.timeout_ms // 20000")" 2>&1); then
    fail "$sel: select: $out"
    continue
  fi
  check "$sel: status texts" "$(expect "$v.statuses[]")" "$(tr -d '\r' < "$log_unix" | ansi)"
  rows=$(drv list | ansi)
  if [[ $(expect "$v | has(\"list_count\")") == true ]]; then
    check "$sel: row count" "$(expect "$v.list_count")" "$(count "$rows")"
    check "$sel: first rows" "$(expect "$v.list_head // [] | .[] | row")" "$(printf '%s\n' "$rows" | head -n "$(expect "$v.list_head // [] | length")")"
  else
    check "$sel: rows" "$(expect "$v.list // [] | .[] | row")" "$rows"
  fi
  if [[ $(expect "$v | has(\"location\")") == true ]]; then
    check "$sel: location bar" "$(expect "$v.location | text")" "$(drv location | ansi)"
  fi
  check "$sel: no box" "" "$(drv no-messagebox 200 2>&1)"
done

alive "after everything"
check_cmd "the window closes" drv close 10000
wait "$APP_PID" 2>/dev/null
APP_PID=
finish
