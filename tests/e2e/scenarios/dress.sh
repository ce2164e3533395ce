# The dressed main window and the About box, looked at as pixels of the
# real screen, with the mouse and keyboard of xdotool.
source "$(dirname "$0")/lib.sh"
SHOTS=${FERROLINK_SHOTS:-$BUILD/screens}
mkdir -p "$SHOTS"
tmp=$(mktemp -d)

shot() { import -window root "$tmp/$1.png"; }
# pixel SHOT X Y: "r,g,b" of one screen pixel.
pixel() { convert "$tmp/$1.png" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }
# count SHOT LEFT TOP RIGHT BOTTOM COLOR: pixels of exactly that colour.
count() {
  convert "$tmp/$1.png" -crop "$(($4 - $2))x$(($5 - $3))+$2+$3" +repage -alpha off \
    -fill black +opaque "$6" -fill white -opaque "$6" -format '%[fx:int(mean*w*h+0.5)]' info:
}
rect() { drv rect "$1"; }
settle() { sleep 0.4; }

start_app || exit 1
drv wait-status "Net update complete" 30000 >/dev/null
xdotool mousemove 900 700
settle

# At rest: no button shows a frame, the caption bar is an empty grey bar.
read -r sl st sr sb < <(rect 1003)
read -r ll lt lr lb < <(rect 1006)
read -r kl kt kr kb < <(rect 1009)
shot rest
rest=$(pixel rest $((sl + 4)) $((st + 2)))
check "Scan has no frame at rest (top left)" "$rest" "$(pixel rest "$sl" "$st")"
check "Scan has no frame at rest (bottom right)" "$rest" "$(pixel rest $((sr - 1)) $((sb - 1)))"
check "the empty caption bar is grey" "128,128,128" "$(pixel rest $((ll + 2)) $((lt + 2)))"
check "the empty caption bar has no text" "0" "$(count rest "$ll" "$lt" "$lr" "$lb" 'rgb(255,255,255)')"
[[ $(count rest "$kl" "$kt" "$kr" "$kb" 'rgb(0,0,238)') -gt 10 ]] && pass "the link is blue" || fail "the link is blue"

# Where the mouse goes when it leaves a control: the dialog's own face in
# the button row. (Jumping straight off the window would tell Wine nothing:
# it sees the pointer only while it is over one of its windows.)
away() { xdotool mousemove $((sr + 60)) $((st + 10)); }

# Hovering Scan draws its frame; moving off takes it away again.
xdotool mousemove $(((sl + sr) / 2)) $(((st + sb) / 2))
settle
shot hot
cp "$tmp/hot.png" "$SHOTS/main-hover.png"
light=$(pixel hot "$sl" "$st")
dark=$(pixel hot $((sr - 1)) $((sb - 1)))
[[ $light != "$rest" && $dark != "$rest" && $light != "$dark" ]] && pass "hovered Scan is framed ($light / $dark)" \
  || fail "hovered Scan is framed: $light / $dark against $rest"
check "the frame runs along the top" "$light" "$(pixel hot $(((sl + sr) / 2)) "$st")"
check "the frame runs down the right" "$dark" "$(pixel hot $((sr - 1)) $(((st + sb) / 2)))"
away
settle
shot left
check "leaving Scan removes the frame (top left)" "$rest" "$(pixel left "$sl" "$st")"
check "leaving Scan removes the frame (bottom right)" "$rest" "$(pixel left $((sr - 1)) $((sb - 1)))"

# The link turns red under the mouse and blue again once the mouse is gone.
xdotool mousemove $(((kl + kr) / 2)) $(((kt + kb) / 2))
settle
shot linkhot
[[ $(count linkhot "$kl" "$kt" "$kr" "$kb" 'rgb(255,0,0)') -gt 10 ]] && pass "the hovered link is red" || fail "the hovered link is red"
# Resting there, the pointer brings up the link's tip: a window on the
# screen with the tip's text, drawn in black on the tip's face.
tip=
for _ in $(seq 50); do
  tip=$(drv windows | awk -F'\t' '$2 == "tooltips_class32"' | head -n 1)
  [[ -n $tip ]] && break; sleep 0.1
done
check "resting on the link shows its tip" "Go to www.flink.test" "$(cut -f3 <<<"$tip")"
if [[ -n $tip ]]; then
  read -r tl tt tr tb <<<"$(cut -f4 <<<"$tip")"
  sleep 0.3
  shot tip
  [[ $(count tip "$tl" "$tt" "$tr" "$tb" 'rgb(0,0,0)') -gt 20 ]] && pass "the tip's text is drawn on the screen" \
    || fail "the tip's text is drawn on the screen"
fi
away
settle
shot linkleft
check "the left link has no red" "0" "$(count linkleft "$kl" "$kt" "$kr" "$kb" 'rgb(255,0,0)')"

# A click on the caption bar does nothing.
drv select ANVIL >/dev/null && drv wait-status Done 10000 >/dev/null
before=$(drv list)
xdotool mousemove $(((ll + lr) / 2)) $(((lt + lb) / 2)) click 1
settle
check "clicking the caption bar changes nothing" "Done|$before" "$(drv status)|$(drv list)"
away
settle
shot selected
cp "$tmp/selected.png" "$SHOTS/main.png"
[[ $(count selected "$ll" "$lt" "$lr" "$lb" 'rgb(255,255,255)') -gt 20 ]] && pass "the caption bar shows white text" \
  || fail "the caption bar shows white text"

# The site link opens the vendor's site through the shell.
: > "$FERROLINK_RECORD_FILE"
xdotool mousemove $(((kl + kr) / 2)) $(((kt + kb) / 2)) click 1
for _ in $(seq 50); do grep -q 'http://www.flink.test' "$FERROLINK_RECORD_FILE" 2>/dev/null && break; sleep 0.1; done
grep -q '"http://www.flink.test"' "$FERROLINK_RECORD_FILE" && pass "the site link opens http://www.flink.test" \
  || fail "the site link opens http://www.flink.test: $(cat "$FERROLINK_RECORD_FILE")"
away
settle
shot visited
[[ $(count visited "$kl" "$kt" "$kr" "$kb" 'rgb(85,26,139)') -gt 10 ]] && pass "the opened link is purple" || fail "the opened link is purple"

# The About box from the Help menu, with the keyboard.
main=$(xdotool search --name '^Ferrolink 1\.0$' | head -n 1)
xdotool windowactivate --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
xdotool key --window "$main" alt+h
sleep 0.3
xdotool key a
about=
for _ in $(seq 50); do about=$(xdotool search --name '^About Ferrolink$' 2>/dev/null | head -n 1); [[ -n $about ]] && break; sleep 0.1; done
if [[ -n $about ]]; then
  pass "Help, About opens the About box"
  settle
  import -window "$about" "$SHOTS/about.png"
  xdotool key Escape
  for _ in $(seq 50); do xdotool search --name '^About Ferrolink$' >/dev/null 2>&1 || break; sleep 0.1; done
  xdotool search --name '^About Ferrolink$' >/dev/null 2>&1 && fail "Escape closes the About box" || pass "Escape closes the About box"
else
  fail "Help, About opens the About box"
fi

# And from the system menu: item 16 is its last entry.
timeout 30 "$WINE" "$BUILD/bin/uidriver.exe" syscommand 16 >/dev/null &
sys=$!
sleep 0.5
about=$(xdotool search --name '^About Ferrolink$' 2>/dev/null | head -n 1)
[[ -n $about ]] && pass "system command 16 opens the About box" || fail "system command 16 opens the About box"
if [[ -n $about ]]; then
  eval "$(xdotool getwindowgeometry --shell "$about")"
  import -window root "$tmp/about.png"
  # The site link sits on the second line of the text: find it by its colour.
  [[ $(count about "$X" "$Y" $((X + WIDTH)) $((Y + HEIGHT)) 'rgb(0,0,238)') -gt 30 ]] && pass "the About links are blue" \
    || fail "the About links are blue"
  xdotool windowactivate --sync "$about" 2>/dev/null || xdotool windowfocus --sync "$about" 2>/dev/null
  xdotool key Return
  for _ in $(seq 50); do xdotool search --name '^About Ferrolink$' >/dev/null 2>&1 || break; sleep 0.1; done
  xdotool search --name '^About Ferrolink$' >/dev/null 2>&1 && fail "Enter closes the About box" || pass "Enter closes the About box"
fi
wait "$sys"
rm -rf "$tmp"
finish
