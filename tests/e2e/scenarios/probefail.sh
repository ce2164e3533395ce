#!/usr/bin/env bash
# A probe that cannot start: its box ("Error:" caption) at every selection,
# then "Ping failed (250 ms)" and an empty list. EXPECT_BOX is the box text.
source "$(dirname "$0")/lib.sh"
want=${EXPECT_BOX:?}
start_app
check_cmd "walk completes" drv wait-status "Net update complete" 20000
for pc in PC1 PC2; do
  drv select "$pc" >/dev/null 2>&1 &
  sel=$!
  check "$pc: the probe's box" "Error:
$want" "$(drv messagebox --caption 10000)"
  wait $sel
  check "$pc: status" "Ping failed (250 ms)" "$(drv status)"
  check "$pc: no shares" "" "$(drv list)"
  check "$pc: location names it" "Share resources at: \\\\$pc" "$(drv location)"
done
finish
