#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
bash "$top/scripts/build.sh"
cd "${ORVEL_BUILD_DIR:-$top/build}"
ctest --output-on-failure --timeout 600
