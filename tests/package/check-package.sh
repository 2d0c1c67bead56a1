#!/usr/bin/env bash
# Makes the Debian package from a built tree with CPack (as scripts/package.sh does from its
# Release tree) and checks it: its name, its exact file list, the modes of the executables, the
# control fields with the run-time dependencies, and the desktop files.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log" >&2
  fail "cpack could not make the package"
fi
arch=$(dpkg --print-architecture)
deb="$out/orvel-zestawnik_1.0.0_${arch}.deb"
[ -f "$deb" ] || fail "no $deb; made: $(ls "$out")"

# The exact file list: what the program, its shared files and the desktop need, nothing else
# (no test programs, no build tools, no benchmark, nothing outside /usr).
share=usr/share/orvel-zestawnik
{
  printf '%s\n' usr/bin/orvel-zestawnik usr/bin/orvel-zestawnik-cli \
    usr/lib/orvel-zestawnik/libSQLServerInfo.so usr/lib/orvel-zestawnik/libTinyXml.so \
    "$share/data/export.css" \
    usr/share/applications/orvel-zestawnik.desktop \
    usr/share/metainfo/org.example.orvel_zestawnik.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/orvel-zestawnik.svg \
    usr/share/icons/hicolor/48x48/apps/orvel-zestawnik.png \
    usr/share/icons/hicolor/128x128/apps/orvel-zestawnik.png \
    usr/share/icons/hicolor/256x256/apps/orvel-zestawnik.png \
    usr/share/man/man1/orvel-zestawnik.1.gz usr/share/man/man1/orvel-zestawnik-cli.1.gz \
    usr/share/doc/orvel-zestawnik/copyright usr/share/doc/orvel-zestawnik/changelog.gz
  (cd "$src/data" && find template -type f) | sed "s|^|$share/data/|"
  (cd "$src/data/data reports" && find . -type f ! -name .keep) | sed "s|^\./|$share/data reports/|"
  (cd "$src/data/demo" && ls ./*.sql) | sed "s|^\./\(.*\)\.sql$|$share/demo/\1.sqlite|"
} | LC_ALL=C sort >"$out/expected"
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort >"$out/actual"
if ! diff -u "$out/expected" "$out/actual" >&2; then
  fail "the package's file list differs from the expected one (- expected, + packaged)"
fi

# Executables and plug-ins executable by all, shared files only readable.
modes=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv)
for f in usr/bin/orvel-zestawnik usr/bin/orvel-zestawnik-cli; do
  grep -Eq "^-rwxr-xr-x .* \./$f\$" <<<"$modes" || fail "$f is not mode 0755"
done
grep -E "^-.* \./$share/" <<<"$modes" | grep -Ev '^-rw-r--r-- ' && fail "a shared file is not mode 0644"

# Control fields: the name and version, and the dependencies worked out from the binaries
# plus those the program loads by name.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvel-zestawnik ] || fail "Package is $(field Package)"
[ "$(field Version)" = 1.0.0 ] || fail "Version is $(field Version)"
depends=$(field Depends)
for dep in tdsodbc qt6-qpa-plugins qt6-translations-l10n libqt6widgets6 libqt6core6 \
  libsqlite3-0 libxml2 libodbc2 libtinyxml2 libqscintilla2-qt6 libxlsxwriter libc6; do
  grep -Eq "(^|, )$dep[-0-9a-z.]*( \(|,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

# The runner's manual page is its --help text.
dpkg-deb -x "$deb" "$out/root"
zcat "$out/root/usr/share/man/man1/orvel-zestawnik-cli.1.gz" | grep -q 'app\\-folder' ||
  fail "the manual page does not carry the --help text"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$out/root/usr/share/applications/orvel-zestawnik.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$out/root/usr/share/metainfo/org.example.orvel_zestawnik.metainfo.xml" >/dev/null
fi
echo "package checked: $(basename "$deb"), $(wc -l <"$out/actual") files"
