#!/usr/bin/env bash
# A user's session, with the mouse and keyboard of xdotool on the real screen:
# the start-up walk, a click on each kind of computer, a click that opens a
# share, Back and Forward, Stop in the middle of a slow workgroup, resizing by
# the frame, maximising, the About box both ways, and both ways of quitting.
# uidriver only reads what came of it and says where things are on screen.
# FAMILY (9x or nt) picks what differs between the worlds user-9x.json and
# user-nt.json.
source "$(dirname "$0")/lib.sh"
FAMILY=${FAMILY:?set FAMILY to 9x or nt}
tmp=$(mktemp -d)

# What the walk finds: the 9x family walks the first provider only, kind 34
# (winxp) the first two. The slow workgroup (VAULT*) comes after the fast ones.
FAST="ANVIL BELLOWS CLERK DESK"
case $FAMILY in
  9x) ALL="$FAST VAULT1 VAULT2 VAULT3"
      ANVIL_ROWS="DOCS	Disk	Documents
LASER	Print	Laser printer
COM1	DEV	Serial port
IPC\$	IPC	Remote IPC" ;;
  nt) ALL="$FAST VAULT1 VAULT2 VAULT3 TONGS"
      ANVIL_ROWS="DOCS	Disk	Documents
LASER	Print	Laser printer
COM1	DEV	Serial port
IPC\$	IPC	Remote IPC
C\$	SPEC	Default share
PLOTTER	?	Print queue marked special" ;;
  *) echo "unknown FAMILY $FAMILY"; exit 2 ;;
esac
read -ra ALL_NAMES <<<"$ALL"
N_ALL=${#ALL_NAMES[@]}
read -ra FAST_NAMES <<<"$FAST"
N_FAST=${#FAST_NAMES[@]}
LAST=${ALL_NAMES[N_ALL - 1]}

# ---------------------------------------------------------------------------
# Hands and eyes

tree_line() { drv tree | tr '\n' ' ' | sed 's/ $//'; }
# mid L T R B: the middle of a rectangle.
mid() { echo $((($1 + $3) / 2)) $((($2 + $4) / 2)); }
click_xy() { xdotool mousemove "$1" "$2"; sleep 0.05; xdotool click 1; }
# again ARGS...: a read-only uidriver command, retried while it prints nothing
# (under load, a start of the driver itself can come back empty).
again() {
  local out= k
  for k in 1 2 3 4 5; do
    out=$(drv "$@") && [[ -n $out ]] && break
    echo "uidriver $*: exit $?, output \"$out\" (try $k)" >&2
    sleep 0.2
  done
  [[ -n $out ]] || { echo "uidriver $* printed nothing" >&2; return 1; }
  printf '%s\n' "$out"
}
click_ctl() { local r; r=$(again rect "$1") || return 1; click_xy $(mid $r); }
# shell_opens X Y: clicks there; prints what the shell was asked to open.
shell_opens() {
  : >"$FERROLINK_RECORD_FILE"
  click_xy "$1" "$2"
  for _ in $(seq 100); do [[ -s $FERROLINK_RECORD_FILE ]] && break; sleep 0.1; done
  sleep 0.3
  sed -e 's/^"[^"]*recorder.exe" //' -e 's/\r$//' "$FERROLINK_RECORD_FILE"
}
# index_of NAME: its row in the tree.
index_of() { again tree | grep -nxF "$1" | head -n 1 | cut -d: -f1 | awk '{print $1 - 1}'; }
click_computer() {
  local i x y
  i=$(index_of "$1")
  [[ -n $i ]] || { echo "no $1 in the tree"; return 1; }
  local r; r=$(again item-rect 1007 "$i") || return 1
  click_xy $(mid $r)
}
# until_eq WANT TRIES COMMAND...: polls every 0.1 s; prints the last answer.
until_eq() {
  local want=$1 tries=$2 got=; shift 2
  for ((k = 0; k < tries; k++)); do got=$("$@" 2>/dev/null); [[ $got == "$want" ]] && break; sleep 0.1; done
  printf '%s' "$got"
}
size_of() { local l t r b; read -r l t r b < <(again rect 0); echo "$((r - l))x$((b - t))"; }
# The selection handler pings and enumerates on the window's thread: once the
# tree answers with the new selection, that handler has run to its end.
selected_is() { until_eq "$1" 100 drv selected; }
main_win() { xdotool search --name '^Ferrolink 1\.0$' 2>/dev/null | head -n 1; }
focus_main() {
  local w; w=$(main_win)
  [[ -n $w ]] || return 1
  xdotool windowactivate --sync "$w" 2>/dev/null || xdotool windowfocus --sync "$w" 2>/dev/null
  sleep 0.2
}
about_win() { xdotool search --name '^About Ferrolink$' 2>/dev/null | head -n 1; }
wait_about() { for _ in $(seq 50); do [[ -n $(about_win) ]] && return 0; sleep 0.1; done; return 1; }
wait_about_gone() { for _ in $(seq 50); do [[ -z $(about_win) ]] && return 0; sleep 0.1; done; return 1; }
# wait_exit PID: the program's process ends within 10 s.
wait_exit() {
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || { wait "$1" 2>/dev/null; return 0; }; sleep 0.1; done
  return 1
}

# ---------------------------------------------------------------------------
# 1. Start-up

start_app || exit 1
check_cmd "the walk runs after the start" drv wait-status "Net update in progress..." 10000
check_cmd "the walk completes" drv wait-status "Net update complete" 30000
check "the tree holds the world's computers in walk order" "$ALL" "$(tree_line)"
check "Scan enabled once the walk is over" "1" "$(drv enabled 1003)"
START_POS=$(again rect 0 | cut -d' ' -f1-2)

# ---------------------------------------------------------------------------
# 2. Each kind of computer, clicked in the tree: NAME|STATUS|ROWS
view_rows=(
  "ANVIL|Done|$ANVIL_ROWS"
  "BELLOWS|Done|PUBLIC	Disk	Everyone"
  "CLERK|Ping failed (250 ms)|"
  "DESK|Done|"
  "VAULT1|Done|OLD	Disk	Old files"
)
for row in "${view_rows[@]}"; do
  name=${row%%|*}; rest=${row#*|}; want_status=${rest%%|*}; want_rows=${rest#*|}
  click_computer "$name"
  check "$name: a click selects it" "$name" "$(selected_is "$name")"
  check "$name: status" "$want_status" "$(until_eq "$want_status" 50 drv status)"
  check "$name: shares" "$want_rows" "$(drv list)"
  check "$name: location bar" "Share resources at: \\\\$name" "$(drv location)"
done
check "no message box on the way" "" "$(drv no-messagebox 300 2>&1)"

# ---------------------------------------------------------------------------
# 3. A click on a disk share's row opens it (the list activates on one click).
click_computer ANVIL
selected_is ANVIL >/dev/null
until_eq Done 50 drv status >/dev/null
read -r x y < <(mid $(again item-rect 1008 0))
check "a click on DOCS: the shell opens \\\\ANVIL\\DOCS once" '"\\ANVIL\DOCS"' "$(shell_opens "$x" "$y")"
check "the view is unchanged by the opening" "Done|ANVIL" "$(drv status)|$(drv selected)"

# ---------------------------------------------------------------------------
# 4. Back and Forward with the mouse. Rows: BUTTON EXPECTED-SELECTION BACK FORWARD
check "first computer: Back disabled, Forward enabled" "0 1" "$(drv enabled 1000) $(drv enabled 1001)"
steps=(
  "1001 BELLOWS 1 1"
  "1001 CLERK 1 1"
  "1000 BELLOWS 1 1"
  "1000 ANVIL 0 1"
)
for s in "${steps[@]}"; do
  read -r button want back fwd <<<"$s"
  what=$([[ $button == 1000 ]] && echo Back || echo Forward)
  click_ctl "$button"
  check "$what selects $want" "$want" "$(selected_is "$want")"
  until_eq "Share resources at: \\\\$want" 50 drv location >/dev/null
  check "$what: focus on the tree" "1007" "$(until_eq 1007 20 drv focus)"
  check "$what to $want: Back and Forward" "$back $fwd" "$(drv enabled 1000) $(drv enabled 1001)"
done
click_ctl 1000
sleep 0.5
check "disabled Back at the first computer does nothing" "ANVIL" "$(drv selected)"
click_computer "$LAST"
check "the last computer selected" "$LAST" "$(selected_is "$LAST")"
check "last computer: Back enabled, Forward disabled" "1 0" "$(drv enabled 1000) $(drv enabled 1001)"
click_ctl 1001
sleep 0.5
check "disabled Forward at the last computer does nothing" "$LAST" "$(drv selected)"
click_ctl 1000
check "Back from the last" "${ALL_NAMES[N_ALL - 2]}" "$(selected_is "${ALL_NAMES[N_ALL - 2]}")"

# A press on Forward that is dragged off and released elsewhere is no click;
# dragged off and back before the release, it is. Rows: VIA EXPECTED-SELECTION
read -r fx fy < <(mid $(again rect 1001))
read -r _ _ _ fb < <(again rect 1001)
click_computer ANVIL
selected_is ANVIL >/dev/null
for row in "$fx,$((fb + 80)) ANVIL" "$fx,$((fb + 80)) $fx,$fy BELLOWS"; do
  want=${row##* }
  xdotool mousemove "$fx" "$fy"; sleep 0.1; xdotool mousedown 1; sleep 0.1
  for p in ${row% *}; do xdotool mousemove "${p%,*}" "${p#*,}"; sleep 0.15; done
  xdotool mouseup 1
  [[ $want == ANVIL ]] && sleep 0.5
  check "Forward pressed, moved by ${row% *}, released: $want" "$want" "$(selected_is "$want")"
done

# The arrow keys in the tree, which has the focus after Back.
click_computer ANVIL
selected_is ANVIL >/dev/null
focus_main
check "the tree has the keyboard focus" "1007" "$(drv focus)"
xdotool key Down
check "Down selects the next computer" "BELLOWS" "$(selected_is BELLOWS)"
check "Down: the view follows" "Done|PUBLIC	Disk	Everyone" "$(until_eq Done 50 drv status)|$(drv list)"
xdotool key Up
check "Up selects the previous computer" "ANVIL" "$(selected_is ANVIL)"
check "Up: the view follows" "Done|$ANVIL_ROWS" "$(until_eq Done 50 drv status)|$(drv list)"
check "clicks on the controls never moved the window" "$START_POS" "$(again rect 0 | cut -d' ' -f1-2)"

# ---------------------------------------------------------------------------
# 5. Stop in the middle of the slow workgroup, Scan again.
click_ctl 1002
sleep 0.3
check "Stop while idle changes nothing" "Done|$ALL" "$(drv status)|$(tree_line)"
click_ctl 1003
check "Scan keeps the last view: location bar" "Share resources at: \\\\ANVIL" "$(drv location)"
check "Scan keeps the last view: shares" "$ANVIL_ROWS" "$(drv list)"
check "Scan starts a walk" "Net update in progress..." "$(until_eq "Net update in progress..." 50 drv status)"
check "Scan disabled while walking" "0" "$(drv enabled 1003)"
# "Stopping..." lasts until the slow request in progress returns: watch for it
# from before the click, and have the Stop button's place ready.
read -r stopx stopy < <(mid $(again rect 1002))
drv wait-status "Stopping..." 20000 >"$tmp/stopping" 2>&1 &
watcher=$!
check_cmd "the fast workgroups arrive" drv wait-tree "$N_FAST" 15000
click_xy "$stopx" "$stopy"
wait "$watcher"
check "Stop shows Stopping..." "Stopping..." "$(cat "$tmp/stopping")"
check "focus on the tree after Stop" "1007" "$(drv focus)"
check_cmd "the stopped walk ends" drv wait-status "Net update complete" 15000
kept=$(drv tree | wc -l)
if ((kept >= N_FAST && kept < N_ALL)); then pass "items found so far remain ($kept of $N_ALL)"; else fail "items after Stop: $kept (fast $N_FAST, all $N_ALL)"; fi
check "the kept items come first, in order" "$FAST" "$(drv tree | head -n "$N_FAST" | tr '\n' ' ' | sed 's/ $//')"
check "Scan enabled after the stop" "1" "$(drv enabled 1003)"
click_ctl 1003
check "Scan walks again" "Net update in progress..." "$(until_eq "Net update in progress..." 50 drv status)"
# A computer clicked while the walk goes on is viewed at once; the walk goes on.
drv wait-tree 2 15000 >/dev/null
click_computer BELLOWS
check "during the walk: a click selects" "BELLOWS" "$(selected_is BELLOWS)"
check "during the walk: the view" "Done|PUBLIC	Disk	Everyone" "$(until_eq Done 50 drv status)|$(drv list)"
check_cmd "the new walk completes" drv wait-status "Net update complete" 30000
check "the new walk finds everything again" "$ALL" "$(tree_line)"

# ---------------------------------------------------------------------------
# 6. Resizing by the frame's corner and left edge; moving by the window's face.
# layout: the controls' sizes and the link's place, relative to each other.
layout() {
  local tl tt tr tb ll lt lr lb bl bt br bb kl kt kr kb
  read -r tl tt tr tb < <(again rect 1007)
  read -r ll lt lr lb < <(again rect 1008)
  read -r bl bt br bb < <(again rect 1006)
  read -r kl kt kr kb < <(again rect 1009)
  echo "tree $((tr - tl))x$((tb - tt)) list $((lr - ll))x$((lb - lt)) bar $((br - bl)) link $kl"
}
# inside: every control lies inside the window, the lists above the status bar.
inside() {
  local wl wt wr wb sl st sr sb id l t r b bad=
  read -r wl wt wr wb < <(again rect 0)
  read -r sl st sr sb < <(again rect 101)
  for id in 1007 1008 1006 1009 101; do
    read -r l t r b < <(again rect "$id")
    ((l >= wl && t >= wt && r <= wr && b <= wb)) || bad+=" $id"
  done
  for id in 1007 1008; do
    read -r l t r b < <(again rect "$id")
    ((b <= st)) || bad+=" $id-under-status"
  done
  echo "${bad:-inside}"
}
# drag FROM-X FROM-Y TO-X TO-Y: a press, a few moves, a release.
drag() {
  xdotool mousemove "$1" "$2"; sleep 0.1
  xdotool mousedown 1; sleep 0.1
  local i
  for i in 1 2 3 4; do
    xdotool mousemove $(($1 + ($3 - $1) * i / 4)) $(($2 + ($4 - $2) * i / 4)); sleep 0.1
  done
  xdotool mouseup 1; sleep 0.3
}
# Sizes come as the program's window rectangle and as X sees the window.
xsize() { local w; w=$(main_win); eval "$(xdotool getwindowgeometry --shell "$w")"; echo "${WIDTH}x${HEIGHT}"; }

orig=$(size_of)
read -r ow oh <<<"${orig/x/ }"
before=$(layout)
read -r ol ot _ _ < <(again rect 0)
read -r cx cy < <(again hit-point 17)
if [[ -n ${cx:-} ]]; then
  pass "the frame has a bottom-right corner at $cx,$cy"
  drag "$cx" "$cy" $((cx + 120)) $((cy + 90))
  check "dragging the corner out grows the window" "$((ow + 120))x$((oh + 90))" "$(size_of)"
  check "X sees the same size" "$(size_of)" "$(xsize)"
  read -r _ tsz _ lsz _ bsz _ lk <<<"$before"
  read -r tw th <<<"${tsz/x/ }"; read -r lw lh <<<"${lsz/x/ }"
  check "the controls follow the new size" \
    "tree ${tw}x$((th + 90)) list $((lw + 120))x$((lh + 90)) bar $((bsz + 120)) link $((lk + 120))" "$(layout)"
  check "controls inside the grown window" "inside" "$(inside)"
  read -r cx cy < <(again hit-point 17)
  # Far past the minimum, but still on the screen.
  drag "$cx" "$cy" $((ol + 5)) $((ot + 5))
  check "dragging the corner far in stops at 500x200" "500x200" "$(size_of)"
  check "controls inside the smallest window" "inside" "$(inside)"
  # The left edge pushed past the minimum: the width stays, the window slides.
  read -r ex ey < <(again hit-point 10)
  drag "$ex" "$ey" $((ex + 100)) "$ey"
  check "the left edge pushed in: 500 wide, moved right by 100" "$((ol + 100)) $((ol + 600))" "$(again rect 0 | cut -d' ' -f1,3)"
  read -r ex ey < <(again hit-point 10)
  drag "$ex" "$ey" $((ex - 100)) "$ey"
  check "the left edge pulled out: back at the left, 600 wide" "$ol 600x200" "$(again rect 0 | cut -d' ' -f1) $(size_of)"
  read -r cx cy < <(again hit-point 17)
  read -r nw nh <<<"$(size_of | tr x ' ')"
  drag "$cx" "$cy" $((cx + ow - nw)) $((cy + oh - nh))
  check "dragging back gives the first size" "$orig" "$(size_of)"
  check "and the first layout" "$before" "$(layout)"
  # A press on the window's own face, off every control, moves the window.
  read -r sl st sr sb < <(again rect 1003)
  drag $((sr + 60)) $((st + 10)) $((sr + 100)) $((st + 40))
  check "dragging the window's face moves it" "$((ol + 40)) $((ot + 30)) $orig" "$(again rect 0 | cut -d' ' -f1-2) $(size_of)"
  read -r sl st sr sb < <(again rect 1003)
  drag $((sr + 60)) $((st + 10)) $((sr + 20)) $((st - 20))
  check "and back" "$ol $ot" "$(again rect 0 | cut -d' ' -f1-2)"
else
  fail "no bottom-right corner on the frame"
fi

# ---------------------------------------------------------------------------
# 7. Maximise, minimise and restore. Wine places a maximised popup window that has a
# menu with its caption above the screen's top edge, so the restore goes
# through the system menu (Alt+Space), as it would with the keyboard anyway.
read -r ol ot _ _ < <(again rect 0)
read -r sw sh < <(xdotool getdisplaygeometry)
# maximised: the window covers the whole screen.
maximised() {
  local l t r b
  read -r l t r b < <(again rect 0)
  ((l <= 0 && r >= sw && b - t >= sh)) && echo maximised || echo "not maximised: $l $t $r $b"
}
sysmenu() { focus_main; xdotool key alt+space; sleep 0.4; xdotool key "$@"; sleep 0.6; }
restored() { echo "$(size_of) $(again rect 0 | cut -d' ' -f1-2)"; }

read -r capx capy < <(again hit-point 2)
xdotool mousemove "$capx" "$capy"; sleep 0.1; xdotool click --repeat 2 --delay 80 1
check "a double-click on the caption maximises" "maximised" "$(until_eq maximised 20 maximised)"
check "maximised: controls inside the window" "inside" "$(inside)"
read -r ll _ lr _ < <(again rect 1008)
read -r wl _ wr _ < <(again rect 0)
check "maximised: the list spreads with the window" "$(($(cut -d' ' -f4 <<<"$before" | cut -dx -f1) + wr - wl - ow))" "$((lr - ll))"
sysmenu r
check "system menu, Restore: size and place as before" "$orig $ol $ot" "$(until_eq "$orig $ol $ot" 20 restored)"
check "restored: the layout as before" "$before" "$(layout)"
sysmenu x
check "system menu, Maximize" "maximised" "$(until_eq maximised 20 maximised)"
sysmenu r
check "system menu, Restore again" "$orig $ol $ot" "$(until_eq "$orig $ol $ot" 20 restored)"
# Minimised, the controls shrink to nothing; restored, they come back.
sysmenu n
check "system menu, Minimize: the list has no size" "0x0" "$(read -r l t r b < <(again rect 1008); echo "$((r - l))x$((b - t))")"
sysmenu r
check "restored from the minimised state" "$orig $ol $ot" "$(until_eq "$orig $ol $ot" 20 restored)"
check "restored from minimised: the layout as before" "$before" "$(layout)"

# ---------------------------------------------------------------------------
# 8. The About box from the Help menu and from the system menu, each time
# centred over the main window, which has been moved first.
# centred: whether the About box's centre lies within 3 pixels of the main
# window's.
centred() {
  local ml mt mr mb al at ar ab dx dy
  read -r ml mt mr mb < <(again rect 0)
  read -r al at ar ab < <(again dialog-rect "About Ferrolink" 0)
  dx=$(((al + ar - ml - mr) / 2)); dy=$(((at + ab - mt - mb) / 2))
  if ((dx >= -3 && dx <= 3 && dy >= -3 && dy <= 3)); then echo centred; else echo "off by $dx,$dy"; fi
}
read -r ml mt _ _ < <(again rect 0)
read -r sl st sr sb < <(again rect 1003)
drag $((sr + 60)) $((st + 10)) $((sr + 130)) $((st + 60))
check "the main window moved before the About box" "$((ml + 70)) $((mt + 50))" "$(again rect 0 | cut -d' ' -f1-2)"
focus_main
xdotool key alt+h; sleep 0.3; xdotool key a
if wait_about; then
  pass "Help, About opens the About box"
  check "Help, About: the box is centred over the main window" "centred" "$(centred)"
  check "the box is modal: the main window is disabled" "0" "$(drv enabled 0)"
  sleep 0.3
  # Each of its links, clicked, asks the shell to open its address once.
  for link in "1010 mailto:ferrolink@flink.test" "1011 mailto:support@flink.test" "1009 http://www.flink.test"; do
    read -r id address <<<"$link"
    check "About box, the link $id opens $address" "\"$address\"" \
      "$(shell_opens $(mid $(again dialog-rect "About Ferrolink" "$id")))"
  done
  check "the About box stays open after its links" "About Ferrolink" "$(xdotool getwindowname "$(about_win)" 2>/dev/null)"
  xdotool key Escape
  wait_about_gone && pass "Escape closes the About box" || fail "Escape closes the About box"
else
  fail "Help, About opens the About box"
fi
check "the main window still runs" "Ferrolink 1.0" "$(drv wait-window 2000)"

# Wine's system menu holds an "About Wine" item of its own, so the letter a
# is taken; ours is the last item: Up from the top wraps round to it.
sysmenu Up
xdotool key Return
if wait_about; then
  pass "system menu, About Ferrolink... opens the About box"
  check "system menu: the box is centred over the main window" "centred" "$(centred)"
  sleep 0.3
  read -r okx oky < <(mid $(again dialog-rect "About Ferrolink" 1))
  click_xy "$okx" "$oky"
  wait_about_gone && pass "OK, clicked, closes the About box" || fail "OK, clicked, closes the About box"
else
  fail "system menu, About Ferrolink... opens the About box"
fi

# ---------------------------------------------------------------------------
# 9. Escape ends the program; so does, in a new start, a click on the close box.
check "still running before Escape" "Ferrolink 1.0" "$(drv wait-window 2000)"
pid=$APP_PID
focus_main
xdotool key Escape
if wait_exit "$pid"; then pass "Escape ends the program"; APP_PID=; else fail "Escape ends the program"; stop_app; fi

start_app || exit 1
pid=$APP_PID
read -r bx by < <(again hit-point 20)
check_cmd "the second start walks" drv wait-tree 1 15000
if [[ -n ${bx:-} ]]; then
  # The slow workgroup takes seconds: the close comes in the middle of the walk.
  check "the walk still runs at the close" "Net update in progress..." "$(drv status)"
  click_xy "$bx" "$by"
  if wait_exit "$pid"; then pass "a click on the close box ends the program"; APP_PID=
  else fail "a click on the close box ends the program"; fi
else
  fail "no close box on the frame"
fi
check "no window left" "" "$(drv windows 2>&1)"
rm -rf "$tmp"
finish
