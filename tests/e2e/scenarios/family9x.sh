#!/usr/bin/env bash
# The 9x family's share service (svrapi.dll): upper-cased names, the retry
# with backslashes, 12-character names, a full 1280-byte buffer, and records
# that lie, none of which may crash the program.
source "$(dirname "$0")/lib.sh"
start_app
check_cmd "walk completes" drv wait-status "Net update complete" 20000
drv select OLDBOX >/dev/null
check "OLDBOX listed after the retry" "C	Disk	Drive C
HPLASER	Print	Printer
THIRTEENCHAR	Disk	cut" "$(drv list)"
drv select crowded >/dev/null
rows=$(drv list | wc -l)
check "crowded: a full buffer's records, then Done" "Done" "$(drv status)"
if (( rows > 5 && rows < 20 )); then pass "crowded: $rows of 20 shares fit the buffer"; else fail "crowded rows: $rows"; fi
check "crowded: in service order" "S01" "$(drv list | head -n 1 | cut -f1)"
drv select ODD >/dev/null
check "unterminated name cut at 12, remark outside the buffer empty" "NNNNNNNNNNNN	Disk	" "$(drv list)"
drv select STRANGER >/dev/null
check "service failure" "Done" "$(drv status)"
drv select LIAR >/dev/null
check "a count larger than the buffer is cut; the real record comes first" "REAL	IPC	ipc" "$(drv list | head -n 1)"
check "still running" "Ferrolink 1.0" "$(drv wait-window 1000)"
finish
