# Shared by the end-to-end scenarios. A scenario runs inside the test world
# (tests/world/run-in-world sets FERROLINK_BUILD, WINEPREFIX, DISPLAY) and
# drives the real program with uidriver.exe and, where a user's hands are
# needed, xdotool.
set -uo pipefail
BUILD=${FERROLINK_BUILD:?run inside tests/world/run-in-world}
WINE=${WINELOADER:-/usr/lib/wine/wine64}
APP_PID=
PASSED=0
FAILED=0

# Under qemu's emulator each start of a Windows process costs over a second:
# there two drivers started with the scenario serve its commands (uidriver
# --serve), the second for a command asked while one is in flight from a job
# in the background; only a third at once starts a driver of its own.
DRV_DIR=
DRV_PIDS=()
DRV_IN=()
DRV_OUT=()
drv_serve_start() {
  local k fd_in fd_out
  DRV_DIR=$(mktemp -d)
  for k in 0 1; do
    mkfifo "$DRV_DIR/in$k" "$DRV_DIR/out$k"
    "$WINE" "$BUILD/bin/uidriver.exe" --serve <"$DRV_DIR/in$k" >"$DRV_DIR/out$k" 2>"$DRV_DIR/log$k" &
    DRV_PIDS[k]=$!
    exec {fd_in}>"$DRV_DIR/in$k" {fd_out}<"$DRV_DIR/out$k"
    DRV_IN[k]=$fd_in
    DRV_OUT[k]=$fd_out
  done
}
drv_serve_stop() {
  local k fd
  ((${#DRV_PIDS[@]})) || return 0
  for fd in "${DRV_IN[@]}" "${DRV_OUT[@]}"; do exec {fd}>&-; done
  # Their input ends here, unless a process started since holds it too.
  for k in $(seq 50); do kill -0 "${DRV_PIDS[@]}" 2>/dev/null || break; sleep 0.1; done
  kill "${DRV_PIDS[@]}" 2>/dev/null
  wait "${DRV_PIDS[@]}" 2>/dev/null
  rm -rf "$DRV_DIR"
  DRV_PIDS=()
}
# drv_served OUT ERR ARGS...: the command through a serving driver that is
# free; 255 when none is.
drv_served() {
  local out=$1 err=$2 lock rc k
  shift 2
  for k in "${!DRV_PIDS[@]}"; do
    kill -0 "${DRV_PIDS[k]}" 2>/dev/null || continue
    exec {lock}>"$DRV_DIR/lock$k"
    flock -n "$lock" || { exec {lock}>&-; continue; }
    local IFS=$'\x1f'
    printf '%s\n' "Z:${out//\//\\}$IFS""Z:${err//\//\\}$IFS$*" >&"${DRV_IN[k]}"
    read -r rc <&"${DRV_OUT[k]}" || rc=255
    exec {lock}>&-
    return "$rc"
  done
  return 255
}
[[ -z ${FERROLINK_WIN32_QEMU:-} ]] || drv_serve_start

# One command, its output into the files OUT and ERR.
drv_once() {
  local out=$1 err=$2 rc
  shift 2
  if ((${#DRV_PIDS[@]})); then
    drv_served "$out" "$err" "$@"
    rc=$?
    [[ $rc -eq 255 ]] || return $rc
  fi
  "$WINE" "$BUILD/bin/uidriver.exe" "$@" >"$out" 2>"$err"
}

# The driver. Now and then under load a start of it finds no window at all
# while the program runs (its exit then trips Wine's loader too): such a run
# is tried once more.
drv() {
  local out rc err
  out=$(mktemp)
  err=$(mktemp)
  drv_once "$out" "$err" "$@"
  rc=$?
  if [[ $rc -ne 0 ]] && grep -qx 'no Ferrolink window' "$err" && [[ -n $APP_PID ]] && kill -0 "$APP_PID" 2>/dev/null; then
    echo "uidriver $1: found no window while the program runs; again" >&2
    drv_once "$out" "$err" "$@"
    rc=$?
  fi
  cat "$err" >&2
  cat "$out"
  rm -f "$out" "$err"
  return $rc
}

start_app() {
  "$WINE" "${FERROLINK_APP:-$BUILD/bin/ferrolink.exe}" &
  APP_PID=$!
  # Under load a start of the driver itself can fail at once: only a wait that
  # ran its whole time says the window did not open.
  local end=$((SECONDS + 30)) rc
  while :; do
    drv wait-window $(((end - SECONDS) * 1000)) >/dev/null && return 0
    rc=$?
    ((SECONDS < end - 1)) || break
    echo "uidriver wait-window: exit $rc before its time; again" >&2
    sleep 0.2
  done
  echo "FAIL: the window did not open"; FAILED=$((FAILED + 1)); return 1
}

# Ends the program if it still runs and waits for it.
stop_app() {
  if [[ -n $APP_PID ]] && kill -0 "$APP_PID" 2>/dev/null; then
    drv close 10000 >/dev/null 2>&1 || kill "$APP_PID" 2>/dev/null
  fi
  [[ -n $APP_PID ]] && wait "$APP_PID" 2>/dev/null
  APP_PID=
}

pass() { PASSED=$((PASSED + 1)); echo "ok: $1"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL: $1"; }

# check NAME EXPECTED ACTUAL
check() {
  if [[ "$2" == "$3" ]]; then pass "$1"; else fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /'; fi
}

# check_cmd NAME COMMAND...: the command must succeed.
check_cmd() {
  local name=$1; shift
  local out
  if out=$("$@" 2>&1); then pass "$name"; else fail "$name: $out"; fi
}

finish() {
  stop_app
  drv_serve_stop
  echo "$PASSED passed, $FAILED failed"
  [[ $FAILED -eq 0 ]]
}
trap 'stop_app; drv_serve_stop' EXIT
