#!/usr/bin/env bash
# The package on a bare Debian 12: a minimal bookworm made with debootstrap from the mirror apt is
# configured with, the package installed there with apt (its dependencies and recommendations
# from Debian alone), then, as a new user, the runner on the demo data, its completion and its
# manual page; at last "apt remove" leaves the package in no state and the user's folder in place.
# Needs root and the network to the mirror and takes minutes, so it is not part of ctest. Where it
# cannot run it says why and ends with status 77 (skipped).
# Usage: check-bare-system.sh [LOG]
#   ORVEL_DEB=FILE takes a made package instead of building one; ORVEL_BOOTSTRAP_TARBALL=FILE
#   takes the base system's packages from a tarball of "debootstrap --make-tarball".
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
log=${1:-/dev/null}
skip() { echo "SKIP: $*" | tee -a "$log"; exit 77; }
fail() { echo "FAIL: $*" | tee -a "$log" >&2; exit 1; }
step() { echo "== $*" | tee -a "$log"; }
: >"$log"

[ "$(id -u)" = 0 ] || skip "debootstrap and chroot need root"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (apt install debootstrap)"
# The first Debian mirror of apt's own sources, else Debian's.
mirror=$(grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '$2 !~ /security/ {print $2; exit}')
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
host=$(sed -E 's|^[a-z]+://([^/:]+).*|\1|' <<<"$mirror")
port=80
[[ $mirror == https://* ]] && port=443
timeout 15 bash -c "exec 3<>/dev/tcp/$host/$port" 2>/dev/null ||
  skip "no network to the mirror $mirror"

deb=${ORVEL_DEB:-}
if [ -z "$deb" ]; then
  step "building the package"
  deb=$(bash "$top/scripts/package.sh" 2>>"$log" | tail -n1)
fi
[ -f "$deb" ] || fail "no package: $deb"
step "package: $deb"

root=$(mktemp -d /var/tmp/orvel-bare.XXXXXX)
chmod 755 "$root" # the root folder of the new system: every user walks through it
cleanup() {
  for m in proc dev/pts dev; do
    mountpoint -q "$root/$m" && umount -l "$root/$m"
  done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

tarball=()
[ -n "${ORVEL_BOOTSTRAP_TARBALL:-}" ] && tarball=(--unpack-tarball="$(realpath "$ORVEL_BOOTSTRAP_TARBALL")")
step "debootstrap --variant=minbase bookworm from $mirror ${tarball[*]}"
if ! debootstrap --variant=minbase "${tarball[@]}" bookworm "$root" "$mirror" >>"$log" 2>&1; then
  grep -q 'Failed getting release file\|Couldn.t download' "$log" &&
    skip "debootstrap cannot download from $mirror"
  fail "debootstrap failed (see $log)"
fi
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 "$@"; }
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/tmp/orvel-zestawnik.deb"

step "apt install of the package (with Recommends), man-db and bash-completion"
in_root apt-get update -q >>"$log" 2>&1 || fail "apt-get update in the bare system failed"
before=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
in_root apt-get install -y -q /tmp/orvel-zestawnik.deb man-db bash-completion >>"$log" 2>&1 ||
  fail "the package does not install from Debian alone"
after=$(in_root dpkg-query -W -f='${Package}\n' | wc -l)
step "installed: $((after - before)) packages"
for p in hicolor-icon-theme xdg-utils tdsodbc qt6-translations-l10n; do
  in_root dpkg-query -W -f='${Status}\n' "$p" | grep -q 'install ok installed' ||
    fail "$p was not installed"
done

step "as a new user: the runner, its completion and man"
in_root useradd -m -s /bin/bash anna
as_anna() { in_root su - anna -c "$1" 2>&1 | tee -a "$log"; }
as_anna 'orvel-zestawnik-cli list' | grep -q '^Przykłady/$' || fail "list shows no sample reports"
as_anna 'test -f "$HOME/.local/share/orvel-zestawnik/data/seeded-files.txt"' ||
  fail "the user's folder was not seeded"
demo=sqlite:/usr/share/orvel-zestawnik/demo
as_anna "orvel-zestawnik-cli run 'Przykłady/Stany magazynowe' --server $demo --defaults \
  --csv \$HOME/stany.csv --encoding utf-8 && head -c 300 \$HOME/stany.csv" ||
  fail "the runner cannot run a sample report"
as_anna 'head -c 3 $HOME/stany.csv | od -An -tx1' | grep -q 'ef bb bf' &&
  fail "utf-8 wrote a byte-order mark"
# The loader answers 124 ("load done, ask again"), as bash expects of it.
as_anna 'source /usr/share/bash-completion/bash_completion &&
  _completion_loader orvel-zestawnik-cli; complete -p orvel-zestawnik-cli' |
  grep -q -- '-F _orvel_zestawnik_cli' || fail "bash does not load the completion"
as_anna 'man --warnings orvel-zestawnik-cli 2>&1 >/dev/null' | grep . && fail "man warns"
as_anna 'MANWIDTH=80 man orvel-zestawnik-cli | col -b' | grep -q -- '^ *--encoding ENC$' ||
  fail "man shows no page for the runner"

step "apt remove: no state left, the user's folder kept"
in_root apt-get remove -y -q orvel-zestawnik >>"$log" 2>&1 || fail "apt remove failed"
state=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' orvel-zestawnik 2>/dev/null || true)
[ -z "$state" ] || [ "${state:0:2}" = "un" ] || fail "after apt remove the state is '$state'"
[ -d "$root/home/anna/.local/share/orvel-zestawnik/data reports" ] || fail "the user's folder went"
step "bare-system check passed"
