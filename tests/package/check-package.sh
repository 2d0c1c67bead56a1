#!/usr/bin/env bash
# Makes the Debian package from a built tree with CPack (as scripts/package.sh does from its
# Release tree) and checks it: its name, its exact file list, the modes of the executables, the
# control fields with the run-time dependencies, no maintainer scripts, lintian's verdict, the
# runner's manual page (an entry for every option of --help, no warning from man) and the desktop
# files.
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
    usr/share/doc/orvel-zestawnik/copyright usr/share/doc/orvel-zestawnik/changelog.gz \
    usr/share/doc/orvel-zestawnik/examples/orvel-zestawnik-report.service \
    usr/share/doc/orvel-zestawnik/examples/orvel-zestawnik-report.timer \
    usr/share/bash-completion/completions/orvel-zestawnik-cli
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
for dep in tdsodbc qt6-qpa-plugins qt6-translations-l10n hicolor-icon-theme libqt6widgets6 \
  libqt6core6 libsqlite3-0 libxml2 libodbc2 libtinyxml2 libqscintilla2-qt6 libxlsxwriter libc6; do
  grep -Eq "(^|, )$dep[-0-9a-z.]*( \(|,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
[ "$(field Recommends)" = xdg-utils ] || fail "Recommends is '$(field Recommends)', not xdg-utils"
# Debian's style: the synopsis is a noun phrase, not a sentence.
[ "$(field Description | head -n1)" = "prepared SQL report runner for Microsoft SQL Server" ] ||
  fail "the synopsis is '$(field Description | head -n1)'"
# The project publishes no address it does not have.
[ -z "$(field Homepage)" ] || fail "Homepage is $(field Homepage)"
# No maintainer scripts: the private plug-ins need no ldconfig, and without a postrm
# "apt remove" leaves nothing behind in state "rc".
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | LC_ALL=C sort | tr '\n' ' ')
[ "$scripts" = "control md5sums " ] || fail "control members are: $scripts"

dpkg-deb -x "$deb" "$out/root"
grep -rn 'example\.\(org\|com\|net\)' "$out/root" && fail "the package names a made-up address"
dpkg-deb -I "$deb" | grep -n 'example\.\(org\|com\|net\)' && fail "the control names a made-up address"

if command -v lintian >/dev/null; then
  lintian --fail-on warning --tag-display-limit 0 "$deb" >&2 || fail "lintian finds fault"
else
  echo "lintian not installed: its check is skipped" >&2
fi

# The runner's manual page is its --help text: every option of --help is an entry of its own in
# the rendered page (a tag line, its text below it), and man has nothing to warn about.
page="$out/root/usr/share/man/man1/orvel-zestawnik-cli.1.gz"
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man cannot render the page"
[ -z "$warnings" ] || fail "man warns about the page: $warnings"
rendered=$(MANWIDTH=80 MAN_KEEP_FORMATTING= man -l "$page" 2>/dev/null | col -b)
options=$("$build/bin/orvel-zestawnik-cli" --help | sed -n '/^Options:/,/^$/p' |
  grep -Eo '^  --[a-z-]+( [A-Z=]+)?')
[ -n "$options" ] || fail "--help lists no options"
# The tags of the page's entries, as the source has them: the line after each ".TP".
tags=$(zcat "$page" | sed -n '/^\.TP$/{n;p}' | sed 's/\\f[BIR]//g; s/\\-/-/g')
while IFS= read -r option; do
  option=${option#  }
  grep -qxF -- "$option" <<<"$tags" || fail "no entry of its own for '$option' in the page"
  grep -Eq -- "^ {7}${option}( |$)" <<<"$rendered" || fail "'$option' is not shown as an entry"
done <<<"$options"
for command in list "info REPORT" "params REPORT" "run REPORT"; do
  grep -qxF -- "$command" <<<"$tags" || fail "no entry of its own for the command '$command'"
done
for section in SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT; do
  grep -q "^$section\$" <<<"$rendered" || fail "the page has no section $section"
done
# Each usage is one line of the synopsis (on a page wide enough for the longest).
MANWIDTH=120 man -l "$page" 2>/dev/null | col -b | sed -n '/^SYNOPSIS$/,/^DESCRIPTION$/p' |
  grep -q '^ *orvel-zestawnik-cli \[--app-folder DIR\] run REPORT --server SERVER \[OPTION\]\.\.\.$' ||
  fail "the run usage is not one line of the synopsis"
grep -q '1\.0\.0\.[0-9]' <<<"$rendered" && fail "the page's footer carries the build number"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$out/root/usr/share/applications/orvel-zestawnik.desktop"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$out/root/usr/share/metainfo/org.example.orvel_zestawnik.metainfo.xml" >/dev/null
fi
echo "package checked: $(basename "$deb"), $(wc -l <"$out/actual") files"
