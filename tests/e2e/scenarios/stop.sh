#!/usr/bin/env bash
# The update states with a slow walk: Scan disabled and "&Update Net" grayed
# while it runs, Stop keeps what was found, Scan walks again from the top.
source "$(dirname "$0")/lib.sh"
start_app
check_cmd "items arrive" drv wait-tree 2 10000
check "running" "Net update in progress..." "$(drv status)"
check "Scan disabled while running" "0" "$(drv enabled 1003)"
# Menus cannot be read across processes under Wine: use them as a user does.
menu() { xdotool key alt+n; sleep 0.3; xdotool key "$1"; sleep 0.5; }
menu u
check "&Update Net grayed while running: choosing it does nothing" "Net update in progress..." "$(drv status)"
check "Stop enabled while running" "1" "$(drv enabled 1002)"
check "Back enabled after the start" "1" "$(drv enabled 1000)"
check "Forward enabled after the start" "1" "$(drv enabled 1001)"
drv click 1002 >/dev/null
check "stopping" "Stopping..." "$(drv status)"
check "focus on the tree after Stop" "1007" "$(drv focus)"
check_cmd "stop noticed" drv wait-status "Net update complete" 10000
kept=$(drv tree | wc -l)
if (( kept >= 2 && kept < 10 )); then pass "items found so far remain ($kept)"; else fail "items after stop: $kept"; fi
check "Scan enabled again" "1" "$(drv enabled 1003)"
check "Stop while idle changes nothing" "Net update complete" "$(drv click 1002 >/dev/null; drv status)"
menu u
check "&Update Net enabled again: it starts a new walk" "Net update in progress..." "$(drv status)"
check_cmd "items arrive again" drv wait-tree 1 10000
xdotool key alt+n; sleep 0.3; xdotool key b
check_cmd "&Break update stops the walk" drv wait-status "Stopping..." 2000
check_cmd "and it ends" drv wait-status "Net update complete" 10000
drv command 32771 >/dev/null
check "Update Net by command starts again" "Net update in progress..." "$(drv status)"
check_cmd "the new walk completes" drv wait-status "Net update complete" 20000
check "the new walk starts from the top" "10 S01 S10" "$(drv tree | wc -l) $(drv tree | head -n 1) $(drv tree | tail -n 1)"
finish
