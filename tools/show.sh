#!/usr/bin/env bash
# `make run`, inside the test world: on the user's display the program simply
# runs until closed; under the runner's own Xvfb it is started, shown with a
# computer selected, photographed into SHOT, and closed.
set -euo pipefail
build=${1:?usage: show.sh BUILD-DIR SCREENSHOT}
shot=${2:?usage: show.sh BUILD-DIR SCREENSHOT}
wine=${WINELOADER:-/usr/lib/wine/wine64}
exe=$build/bin/ferrolink.exe
driver() { "$wine" "$build/bin/uidriver.exe" "$@"; }

if [[ ${FERROLINK_XVFB:-0} != 1 ]]; then
  exec "$wine" "$exe"
fi

"$wine" "$exe" &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
driver wait-window 30000 >/dev/null
driver wait-status "Net update complete" 30000 >/dev/null
# Show the first computer that lists shares.
while read -r name; do
  [[ -n $name ]] || continue
  driver select "$name" >/dev/null || continue
  if [[ $(driver status) == Done && -n $(driver list) ]]; then break; fi
done < <(driver tree)
sleep 0.5
id=$(xdotool search --name '^Ferrolink 1\.0$' | head -n 1)
import -window "$id" "$shot"
echo "screenshot: $shot"
driver tree | sed 's/^/computer: /'
echo "status: $(driver status)"
driver close 10000 >/dev/null
wait $app || true
trap - EXIT
