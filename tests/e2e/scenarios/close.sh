#!/usr/bin/env bash
# Closing the window while the worker sits in a slow request: the process
# ends at once, and no box of the walk shows after the window is gone.
source "$(dirname "$0")/lib.sh"
start_app
check_cmd "first computer listed" drv wait-tree 1 10000
check "still walking" "Net update in progress..." "$(drv status)"
pid=$APP_PID
check_cmd "the window closes and the process ends" drv close 4000
# The Windows process is gone; its Unix side follows within moments.
for i in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then fail "process still running after close"; kill "$pid"; else pass "process gone"; fi
check "no box of the walk after the window is gone" "" "$(drv no-messagebox 300 2>&1 | grep -v 'no Ferrolink window')"
APP_PID=
finish
