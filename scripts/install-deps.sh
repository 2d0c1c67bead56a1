#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, as root, non-interactively:
# the toolchain, Qt 6, QScintilla, libxml2, unixODBC with FreeTDS's driver (registered as
# "FreeTDS"), SQLite, tinyxml2, GnuTLS and Nettle (the TDS test server's TLS and NTLM check), ICU
# (collation keys for sorting texts), the Polish locale (and the English and German ones) with the
# toolkit's and the C library's Polish texts, Xvfb with xdotool for driving the program as a user
# does (and the accessibility bus with its Python client, through which the scenarios read the
# window back), what the installed files are made and checked with (the icons from SVG, the
# runner's manual page, the package's dependencies, lintian, the bash completion, debootstrap for
# the bare-system check), and MIT Kerberos (the login's ticket check;
# a KDC, kinit and kadmin.local for the tests' throw-away realm).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev libqscintilla2-qt6-dev
  libxml2-dev unixodbc unixodbc-dev tdsodbc freetds-bin libsqlite3-dev sqlite3 libtinyxml2-dev
  libgnutls28-dev nettle-dev libicu-dev libxlsxwriter-dev unzip
  locales libc-l10n qt6-translations-l10n xvfb xauth xdotool imagemagick fonts-dejavu-core
  librsvg2-bin help2man dpkg-dev file lintian man-db bash-completion debootstrap poppler-utils
  python3 python3-gi python3-pyatspi gir1.2-atspi-2.0 at-spi2-core dbus-daemon
  python3-xlib libkrb5-dev krb5-user krb5-kdc krb5-admin-server)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The Polish locale: the program and its tests format numbers and dates the Polish way; the
# English and German ones: the date input is tried in other users' locales too.
need_gen=0
for loc in pl_PL en_US de_DE; do
  if ! locale -a 2>/dev/null | grep -qi "^${loc}.utf8$"; then
    sed -i "s/^# *${loc}.UTF-8 UTF-8/${loc}.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^${loc}.UTF-8 UTF-8" /etc/locale.gen || echo "${loc}.UTF-8 UTF-8" >> /etc/locale.gen
    need_gen=1
  fi
done
if [ "$need_gen" = 1 ]; then
  locale-gen >/dev/null
fi
# FreeTDS's ODBC driver under the name the program asks for.
if ! odbcinst -q -d 2>/dev/null | grep -q '^\[FreeTDS\]'; then
  drv=$(find /usr/lib -name libtdsodbc.so 2>/dev/null | head -n 1)
  setup=$(find /usr/lib -name libtdsS.so 2>/dev/null | head -n 1)
  printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\nSetup=%s\n' "$drv" "${setup:-$drv}" > /tmp/freetds-odbcinst.ini
  odbcinst -i -d -f /tmp/freetds-odbcinst.ini >/dev/null
fi
