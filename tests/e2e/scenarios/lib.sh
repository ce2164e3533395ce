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

# The driver. Now and then under load a start of it finds no window at all
# while the program runs (its exit then trips Wine's loader too): such a run
# is tried once more.
drv() {
  local out rc err
  err=$(mktemp)
  # The x keeps the output's last newlines, which a substitution would drop.
  out=$("$WINE" "$BUILD/bin/uidriver.exe" "$@" 2>"$err"; rc=$?; printf x; exit $rc)
  rc=$?
  if [[ $rc -ne 0 ]] && grep -qx 'no Ferrolink window' "$err" && [[ -n $APP_PID ]] && kill -0 "$APP_PID" 2>/dev/null; then
    echo "uidriver $1: found no window while the program runs; again" >&2
    out=$("$WINE" "$BUILD/bin/uidriver.exe" "$@" 2>"$err"; rc=$?; printf x; exit $rc)
    rc=$?
  fi
  cat "$err" >&2
  rm -f "$err"
  printf '%s' "${out%x}"
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
  echo "$PASSED passed, $FAILED failed"
  [[ $FAILED -eq 0 ]]
}
trap 'stop_app' EXIT
