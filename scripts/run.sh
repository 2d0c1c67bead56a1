#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the bundled demo data.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"
export LANG=${LANG:-pl_PL.UTF-8}
program="${ORVEL_BUILD_DIR:-$top/build}/bin/orvel-zestawnik"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No screen to show the window on (a server or a container): run it on a virtual one.
  echo "Brak ekranu (DISPLAY): program startuje na wirtualnym ekranie Xvfb." >&2
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$@"
fi
exec "$program" "$@"
