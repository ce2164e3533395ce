#!/usr/bin/env bash
# Errors of the walk as the user meets them: a box with the code's name for
# 1208 and 1222 after the first entry of a level, silence for a failing first
# request, another code or a provider that cannot be opened; the walk goes on.
source "$(dirname "$0")/lib.sh"
start_app
check "first box" "ERROR_EXTENDED_ERROR" "$(drv messagebox 20000)"
check "second box" "ERROR_NO_NETWORK" "$(drv messagebox 20000)"
check_cmd "walk completes" drv wait-status "Net update complete" 20000
check "no further box" "" "$(drv no-messagebox 500 2>&1)"
check "tree: the levels above go on; empty names stay as empty items" "A1
C1
D1


E1" "$(drv tree)"
finish
