#!/usr/bin/env bash
# The update states with a slow walk: Scan disabled and "&Update Net" grayed
# while it runs, Stop keeps what was found, Scan walks again from the top.
# Every request of SLOWGROUP takes 2.5 s, so a stop takes a while; the
# status texts are traced as the program writes them, so that a busy
# machine reading late does not miss "Stopping...".
source "$(dirname "$0")/lib.sh"
# Menus cannot be read across processes under Wine: use them as a user does.
menu() { xdotool key alt+n; sleep 0.3; xdotool key "$1"; sleep 0.5; }
log_unix=$(mktemp -d)/status.log
export FERROLINK_STATUS_LOG="Z:${log_unix//\//\\}"
traced() { tr -d '\r' < "$log_unix" | tr '\n' '|' | sed 's/|$//'; }

start_app
check_cmd "the fast workgroup arrives" drv wait-tree 2 10000
check "running" "Net update in progress..." "$(drv status)"
check "Scan disabled while running" "0" "$(drv enabled 1003)"
check "Stop enabled while running" "1" "$(drv enabled 1002)"
check "Back and Forward enabled after the start" "1 1" "$(drv enabled 1000) $(drv enabled 1001)"
menu u
check "&Update Net grayed while running: choosing it does nothing" "Net update in progress..." "$(drv status)"
: > "$log_unix"
drv --trace-status click 1002 >/dev/null
# (Stop puts the focus on the tree, whose selection is probed first.)
check "stopping" "Stopping..." "$(traced | awk -F'|' '{print $NF}')"
check "focus on the tree after Stop" "1007" "$(drv focus)"
check_cmd "the stop is noticed" drv wait-status "Net update complete" 10000
kept=$(drv tree | wc -l)
if (( kept >= 2 && kept < 6 )); then pass "items found so far remain ($kept)"; else fail "items after stop: $kept"; fi
check "Scan enabled again" "1" "$(drv enabled 1003)"
check "Stop while idle changes nothing" "Net update complete" "$(drv click 1002 >/dev/null; drv status)"

menu u
check "&Update Net enabled again: it starts a new walk" "Net update in progress..." "$(drv status)"
check_cmd "items arrive again" drv wait-tree 2 10000
check "the new walk starts from the top" "F1" "$(drv tree | head -n 1)"
: > "$log_unix"
drv --trace-status wait-status "Net update complete" 20000 >/dev/null & tracer=$!
sleep 2   # the tracer's hook in place; the walk has 10 s to go
menu b
if wait "$tracer"; then pass "and it ends"; else fail "and it ends: the walk did not end in time"; fi
check "&Break update stops the walk" "Stopping...|Net update complete" "$(traced)"

drv click 1003 >/dev/null
check "Scan starts again" "Net update in progress..." "$(drv status)"
check_cmd "and it walks everything" drv wait-status "Net update complete" 30000
check "the whole network" "F1 F2 S1 S2 S3 S4" "$(drv tree | tr '\n' ' ' | sed 's/ $//')"
finish
