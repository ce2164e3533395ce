#!/usr/bin/env bash
# The walk in a world of three providers: order across workgroups and
# providers, the remote-name forms, a name met twice, and how many top-level
# providers the system's kind takes. KIND_TOPS (1 or 2) says which to expect;
# FAMILY (nt or 9x) which share library the kind selects.
here=$(dirname "$0")
source "$here/lib.sh"
tops=${KIND_TOPS:?}
family=${FAMILY:?}

start_app
check_cmd "walk completes" drv wait-status "Net update complete" 20000
expected="ALPHA
BETA
BARE
SINGLE
NOUSAGE
GAMMA
ALPHA"
[[ $tops == 2 ]] && expected+=$'\nDELTA'
check "tree in walk order ($tops top-level providers)" "$expected" "$(drv tree)"
check "no message box" "" "$(drv no-messagebox 300 2>&1)"
check "Scan enabled after the walk" "1" "$(drv enabled 1003)"

# The share library that fits the family: 9x share names hold 12 characters.
drv select ALPHA >/dev/null
if [[ $family == nt ]]; then want="LONGSHARENAME15"; else want="LONGSHARENAM"; fi
check "share listed through the $family library" "$want	Disk	Long" "$(drv list)"
finish
