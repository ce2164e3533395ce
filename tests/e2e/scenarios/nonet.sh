#!/usr/bin/env bash
# No network at all: the update ends at once, the tree stays empty, no box.
source "$(dirname "$0")/lib.sh"
start_app
check "title" "Ferrolink 1.0" "$(drv wait-window 1000)"
check_cmd "update ends" drv wait-status "Net update complete" 10000
check "empty tree" "" "$(drv tree)"
check "no box" "" "$(drv no-messagebox 500 2>&1)"
check "Back and Forward enabled after the start" "1 1" "$(drv enabled 1000) $(drv enabled 1001)"
drv command 32772 >/dev/null
check "Break update while idle changes nothing" "Net update complete" "$(drv status)"
# Escape ends the program, as the close box does.
xdotool key Escape
check_cmd "Escape ends the program" drv wait-gone 5000
finish
