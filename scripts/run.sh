#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the bundled demo data.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"
export LANG=${LANG:-pl_PL.UTF-8}
exec "${ORVEL_BUILD_DIR:-$top/build}/bin/orvel-zestawnik" "$@"
