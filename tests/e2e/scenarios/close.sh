#!/usr/bin/env bash
# Closing the window while the worker sits in a slow request: the process
# ends at once, and no box of the walk shows after the window is gone.
source "$(dirname "$0")/lib.sh"
start_app
check_cmd "first computer listed" drv wait-tree 1 10000
check "still walking" "Net update in progress..." "$(drv status)"
pid=$APP_PID
check_cmd "the window closes and the process ends" drv close 4000
if kill -0 "$pid" 2>/dev/null; then fail "process still running after close"; kill "$pid"; else pass "process gone"; fi
APP_PID=
finish
