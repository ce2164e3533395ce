#!/usr/bin/env bash
# The computer view in the sample world, as a user meets it: each computer's
# outcome in the status bar, list and location bar; Back and Forward; a click
# on a share opened by the shell under its network path.
source "$(dirname "$0")/lib.sh"
start_app
check_cmd "walk completes" drv wait-status "Net update complete" 20000

# select NAME STATUS ROWS
view() {
  check_cmd "$1: selected" drv select "$1"
  check "$1: status" "$2" "$(drv status)"
  check "$1: rows" "$3" "$(drv list)"
  check "$1: location bar" "Share resources at: \\\\$1" "$(drv location)"
}
view ANVIL "Done" "DOCS	Disk	Documents
LASER	Print	Laser printer, first floor
COM1	DEV	Serial port
IPC\$	IPC	Remote IPC
C\$	SPEC	Default share
ADMIN\$	SPEC	Remote Admin
PLOTTER	?	Print queue marked special"
view BELLOWS "Done" "PUBLIC	Disk	Everyone
SCANS	Disk	Scanned letters
IPC\$	IPC	Remote IPC"
view CRUCIBLE "Ping failed (250 ms)" ""
view SMELTER "Ping failed (250 ms)" ""
view LATHE "Done" ""
view TONGS "Done" ""
check "no box on the way" "" "$(drv no-messagebox 300 2>&1)"

# Back and Forward follow the tree's order.
drv select ANVIL >/dev/null
check "first: Back disabled, Forward enabled" "0 1" "$(drv enabled 1000) $(drv enabled 1001)"
drv click 1001 >/dev/null
check "Forward selects the next computer" "BELLOWS" "$(drv selected)"
check "focus on the tree after Forward" "1007" "$(drv focus)"
check "middle: both enabled" "1 1" "$(drv enabled 1000) $(drv enabled 1001)"
drv click 1000 >/dev/null
check "Back selects the previous computer" "ANVIL" "$(drv selected)"
drv select TONGS >/dev/null
check "last: Back enabled, Forward disabled" "1 0" "$(drv enabled 1000) $(drv enabled 1001)"

# A click on DOCS under ANVIL: the shell opens \\ANVIL\DOCS (the world maps
# the share to a folder and the folder class to the recorder).
drv select ANVIL >/dev/null
: > "$FERROLINK_RECORD_FILE"
drv activate 0 >/dev/null
for i in $(seq 50); do [[ -s $FERROLINK_RECORD_FILE ]] && break; sleep 0.1; done
check "the shell opens the share's network path" '"\\ANVIL\DOCS"' "$(sed -e 's/^"[^"]*recorder.exe" //' -e 's/\r$//' "$FERROLINK_RECORD_FILE")"
finish
