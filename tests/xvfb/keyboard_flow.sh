#!/usr/bin/env bash
# The whole way from start to a shown result with the keyboard only, on a virtual screen, as a
# user goes it: start, log in to the demo folder (Enter), choose HURTOWNIA in the database list
# (Down), go to the report tree (Alt+R) and arrow down to "Stany magazynowe" (each report
# passed on the way loads, and the keys typed meanwhile must not be lost), go to the
# parameters (Alt+P), fill "Nazwa zawiera", run (F5). Screenshots of every step go to the
# folder given (default /tmp/orvel-keyboard-flow), to be looked at; the script fails when a
# window does not appear or the program ends during the flow.
#
# Usage: tests/xvfb/keyboard_flow.sh [build folder] [screenshot folder]
# Needs Xvfb (xvfb-run), xdotool and ImageMagick's import.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-${ORVEL_BUILD_DIR:-$top/build}}
shots=${2:-/tmp/orvel-keyboard-flow}
mkdir -p "$shots"

if [ -z "${ORVEL_FLOW_ON_XVFB:-}" ]; then
  export ORVEL_FLOW_ON_XVFB=1
  exec xvfb-run -a -s '-screen 0 1400x900x24' "$0" "$build" "$shots"
fi

# A copied application folder: a first start, with no preferences of earlier runs.
app=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$app"' EXIT
cp -a "$build/bin/." "$app/"
rm -f "$app/data/settings.xml"

export LANG=pl_PL.UTF-8 LC_ALL=pl_PL.UTF-8
"$app/orvel-zestawnik" &
pid=$!

shot() { sleep 0.6; import -window root "$shots/$1.png"; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.4; }

login=$(xdotool search --sync --name ': login$' | head -n 1)
xdotool windowfocus --sync "$login"
shot 01-login
key Return # "Połącz" on the offered demo folder
main=$(xdotool search --sync --name '^Orvel-Zestawnik [0-9.]+$' | head -n 1)
xdotool windowfocus --sync "$main"
shot 02-logged-in
key Down # the first database of the list: HURTOWNIA
shot 03-database
key alt+r # the report tree
key Down # "Przykłady", shown open
for _ in 1 2 3 4 5; do key Down; done # "Stany magazynowe", the fifth report
shot 04-report
key alt+p # the first parameter
key Tab Tab # "Nazwa zawiera"
xdotool type --delay 80 'Ser'
shot 05-input
key F5
sleep 3
shot 06-result
# The virtual screen has no window manager to close the window with: the program is ended.
if ! kill -0 "$pid" 2>/dev/null; then
  echo "the program ended on its own during the flow" >&2
  exit 1
fi
echo "screenshots in $shots"
