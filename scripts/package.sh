#!/usr/bin/env bash
# Builds the program in Release into build-package/ (or $ORVEL_PACKAGE_DIR) and makes the Debian
# package there with CPack; lintian checks it (no warning passes) where lintian is installed. Prints
# the package's path.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEL_PACKAGE_DIR:-$top/build-package}
bash "$top/scripts/install-deps.sh"

# Tools only packaging needs.
export DEBIAN_FRONTEND=noninteractive
missing=()
for p in dpkg-dev file lintian desktop-file-utils appstream; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's compiler and linker flags for packages, hardening included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
# Only what the package holds: the tests and benchmarks are built by scripts/build.sh.
cmake --build "$build" --target orvel_installed -j"$(nproc)"
rm -f "$build"/orvel-zestawnik_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/orvel-zestawnik_*.deb)
if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on warning --info "$deb" >&2
fi
echo "$deb"
