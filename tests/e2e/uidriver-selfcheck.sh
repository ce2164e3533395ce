#!/bin/bash
# Checks uidriver.exe against fake_target.exe: starts the fake under Wine and
# runs every driver command against it.
#
#   uidriver-selfcheck.sh BIN_DIR
#
# Inside a test world (private network, DISPLAY and WINEPREFIX set) it runs as
# it is. Otherwise it makes its own: a network namespace with only lo up, an
# Xvfb, and a prefix beside BIN_DIR, all torn down again at the end.
set -u

BIN=$(cd "${1:?usage: $0 BIN_DIR}" && pwd)
WINE=${FL_WINE:-/usr/lib/wine/wine64}

# Only lo means no traffic can leave.
isolated() { ! ip -o link show 2>/dev/null | grep -qv ': lo:'; }

if ! isolated; then
  [ -z "${UIDRIVER_SELFCHECK_NS:-}" ] || { echo "cannot isolate the network" >&2; exit 1; }
  export UIDRIVER_SELFCHECK_NS=1
  if [ "$(id -u)" = 0 ]; then
    exec unshare -n -m "$0" "$@"
  else
    exec unshare -r -n -m "$0" "$@"
  fi
fi

OWN_PIDS=()
cleanup() {
  [ -n "${FAKE_PID:-}" ] && kill "$FAKE_PID" 2>/dev/null
  # A wineserver of our own namespace only; a test world's is the world's.
  [ -n "${UIDRIVER_SELFCHECK_NS:-}" ] && wineserver -k 2>/dev/null
  for p in "${OWN_PIDS[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$TMP"
}
TMP=$(mktemp -d)
trap cleanup EXIT

if [ -n "${UIDRIVER_SELFCHECK_NS:-}" ]; then
  ip link set lo up
  # The wineserver must start in here, or the program's sockets are outside.
  export WINEPREFIX=${WINEPREFIX:-$BIN/../uidriver-selfcheck-prefix}
  export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  wineserver -k 2>/dev/null
fi
if [ -z "${DISPLAY:-}" ]; then
  for n in $(shuf -i 200-299); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$TMP/xvfb.log" 2>&1 &
  OWN_PIDS+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi
if [ ! -d "${WINEPREFIX:?WINEPREFIX must be set inside a test world}" ]; then
  wineboot -i >"$TMP/wineboot.log" 2>&1
  # No window manager here: Wine draws the frames itself.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
fi

# --- checks -----------------------------------------------------------------

PASSED=0
FAILED=0
D() { "$WINE" "$BIN/uidriver.exe" --exe fake_target.exe "$@"; }

pass() { PASSED=$((PASSED + 1)); }
fail() { FAILED=$((FAILED + 1)); echo "FAIL: $*" >&2; }

# ok WANT ARGS...: exit 0 and exactly WANT on stdout.
ok() {
  local want=$1; shift
  local got rc
  got=$(D "$@" 2>"$TMP/err"); rc=$?
  if [ $rc = 0 ] && [ "$got" = "$want" ]; then pass
  else fail "uidriver $* -> rc $rc, out '$got', err '$(cat "$TMP/err")'; wanted '$want'"; fi
}

# ko RC PATTERN ARGS...: exit RC and a one-line reason matching PATTERN.
ko() {
  local want_rc=$1 pattern=$2; shift 2
  local rc
  D "$@" >"$TMP/out" 2>"$TMP/err"; rc=$?
  if [ $rc = "$want_rc" ] && [ "$(wc -l <"$TMP/err")" = 1 ] && grep -Eq -- "$pattern" "$TMP/err"; then pass
  else fail "uidriver $* -> rc $rc, err '$(cat "$TMP/err")'; wanted rc $want_rc and /$pattern/"; fi
}

# The About box has no uidriver command: press Return in it, as a user would.
about_return() {
  local xid
  xid=$(xdotool search --name '^About Ferrolink$' | head -n1)
  [ -n "$xid" ] && xdotool windowfocus --sync "$xid" key Return
}

# Nothing there yet.
ko 1 'no Ferrolink window' wait-window 300
ko 1 'no Ferrolink window' status
ok '' wait-gone 300
D >/dev/null 2>"$TMP/err"; [ $? = 2 ] && grep -q '^usage:' "$TMP/err" && pass || fail "no usage without a command"
ko 2 'unknown command bogus' bogus
ko 2 'not a number' enabled x

"$WINE" "$BIN/fake_target.exe" &
FAKE_PID=$!

ok 'Ferrolink 1.0' wait-window 30000
pid=$(D pid); [[ $pid =~ ^[0-9]+$ ]] && pass || fail "pid printed '$pid'"
ok 'Net update complete' wait-status 'Net update complete' 20000
ok 7 wait-tree 7 1000
ko 1 'timeout.*holds 7 items' wait-tree 8 300
long="LONG$(printf 'x%.0s' $(seq 16000))"
ok "$(printf 'ALPHA\nBETA\nGR\xdcN\nMODAL\nSLOW\n%s\nOMEGA' "$long")" tree
ok '' selected
ok 1007 focus
ok 'Share resources at: ' location
ok 'Scan' text 1003
ok 'Ferrolink 1.0' text 0
ko 1 'no control 4242' text 4242
ok 'Net update complete' status

# Buttons and their states.
ok 0 enabled 1000
ok 0 enabled 1002
ok 1 enabled 1003
ko 1 '^disabled$' click 1002
D --exe fake_target.exe click 1003 && pass || fail "click 1003"
ok 1 enabled 1002
ok 0 enabled 1003
ok '' command 32772
ok 'Net update stopped' wait-status 'Net update stopped' 5000
ok '' command 32771
ok 'Net update complete' wait-status 'Net update complete' 20000
ok 7 wait-tree 7 100
rc=0; D menu-state 32771 >"$TMP/out" 2>"$TMP/err" || rc=$?
case $rc in
  0) grep -qx enabled "$TMP/out" && pass || fail "menu-state 32771 printed $(cat "$TMP/out")" ;;
  3) echo "note: $(cat "$TMP/err")"; pass ;;
  *) fail "menu-state 32771 -> rc $rc: $(cat "$TMP/err")" ;;
esac

# Selection, the share list and the location bar.
ok '' select BETA
ok BETA selected
ok 'Share resources at: \\BETA' location
ok Done status
ok "$(printf 'DOCS\tDisk\tDocuments\nPRINTER\tPrinter\t\nIPC$\tIPC\tRemote IPC')" list
ok '' select '#2'
ok "$(printf 'GR\xdcN')" selected
ok '' select '#5'
ok "$long" selected
ko 1 'no tree item "NOPE"' select NOPE
ko 1 'no tree item #7' select '#7'
# A handler that takes 2 s: too long for 500 ms, and waited for by default.
ko 1 'timeout: TVM_SELECTITEM' select SLOW 500
ok Done wait-status Done 5000
ok '' select ALPHA
ok '' click 1000
ok 'Back pressed' status
ok '' select SLOW
ok Done status
# A handler that shows a modal box: select returns while the box is up.
ok '' select MODAL
ok "$(printf 'ferrolink\nCannot list the shares of MODAL.')" messagebox --caption 5000
ok Done wait-status Done 5000
ok MODAL selected

# One-click activation of a row with real input.
ok '' activate 0
ok 'Opened \\MODAL\DOCS' wait-status 'Opened \\MODAL\DOCS' 5000
ok 1008 focus
ok '' activate 2
ok 'Opened \\MODAL\IPC$' wait-status 'Opened \\MODAL\IPC$' 5000
ko 1 'no row 3 \(3 rows\)' activate 3

# Message boxes: from the UI thread with an owner, and from a worker with none.
ok '' no-messagebox 300
ok '' command 40002
ok 'Nothing to select.' messagebox --keep 5000
ko 1 'message box "ferrolink": Nothing to select.' no-messagebox 300
ok "$(printf 'ferrolink\nNothing to select.')" messagebox --caption 1000
ok '' no-messagebox 300
read -r l t r b < <(D rect 1009)
if [[ ${b:-} =~ ^[0-9]+$ ]] && [ "$r" -gt "$l" ] && [ "$b" -gt "$t" ]; then pass; else fail "rect 1009: $l $t $r $b"; fi
xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
ok "$(printf 'Error:\nThe link cannot be opened.')" messagebox --caption 5000
ko 1 'timeout: no message box' messagebox 300

# The About box is a dialog of the program's, but no message box.
ok '' command 32773
ok '' no-messagebox 1000
D windows | grep -q $'\t#32770\tAbout Ferrolink\t' && pass || fail "windows: no About box"
about_return
ok '' syscommand 16
sleep 1
D windows | grep -q $'\t#32770\tAbout Ferrolink\t' && pass || fail "syscommand 16: no About box"
about_return
sleep 1
D windows | grep -q 'About Ferrolink' && fail "About box still open" || pass

# A program that does not answer makes the driver fail, not hang.
ok '' command 40001
sleep 0.5
ko 1 'no answer to SB_GETTEXT within 500 ms' --send-timeout 500 status
ok 'Opened \\MODAL\IPC$' wait-status 'Opened \\MODAL\IPC$' 10000

# Closing: too slow while hung, then gone.
ok '' command 40001
sleep 0.5
ko 1 'timeout: process [0-9]+ still running' close 500
ok '' wait-gone 10000
wait "$FAKE_PID"; rc=$?
[ $rc = 0 ] && pass || fail "fake_target exited with $rc"
FAKE_PID=

"$WINE" "$BIN/fake_target.exe" &
FAKE_PID=$!
ok 'Ferrolink 1.0' wait-window 30000
ok '' close 10000
ok '' wait-gone 100
ko 1 'no Ferrolink window' pid
wait "$FAKE_PID"
FAKE_PID=

echo "uidriver self-check: $PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
