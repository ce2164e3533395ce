#!/usr/bin/env bash
# The echo probe: a computer that answers (its lower-case name reaches the
# service upper-cased), one whose echoes are dropped, one whose name does not
# resolve, and dotted addresses with and without a reverse entry.
source "$(dirname "$0")/lib.sh"
start_app
check_cmd "walk completes" drv wait-status "Net update complete" 20000
# probe NAME STATUS ROWS
probe() {
  drv select "$1" >/dev/null
  check "$1: status" "$2" "$(drv status)"
  check "$1: rows" "$3" "$(drv list)"
}
probe answers "Done" "data	Disk	lower-case share"
probe SILENT "Ping failed (250 ms)" ""
probe NOWHERE "Ping failed (250 ms)" ""
probe 127.0.0.41 "Done" "BYADDRESS	Disk	reverse entry found"
# 127.0.0.42 would answer an echo, but without a reverse entry none is sent.
probe 127.0.0.42 "Ping failed (250 ms)" ""
check "no box" "" "$(drv no-messagebox 300 2>&1)"
finish
