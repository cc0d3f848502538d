#!/usr/bin/env bash
# Checks Talvora's desktop integration in a built tree: the launchers and
# the software-centre file validate, `cmake --install` puts every file in
# its standard place, and the Debian package installs and removes cleanly
# (into a private dpkg root, so the machine itself is left alone).
# Usage: scripts/check-package.sh BUILD_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$source_dir"/data/*.desktop
appstreamcli validate --no-net "$build_dir"/data/com.merrowind.Talvora.metainfo.xml

expected=(
  usr/bin/talvora
  usr/bin/talvora-archief
  usr/share/applications/com.merrowind.Talvora.desktop
  usr/share/applications/com.merrowind.Talvora.Setup.desktop
  usr/share/applications/com.merrowind.Talvora.Archief.desktop
  usr/share/metainfo/com.merrowind.Talvora.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/com.merrowind.Talvora.svg
  usr/share/icons/hicolor/16x16/apps/com.merrowind.Talvora.png
  usr/share/icons/hicolor/32x32/apps/com.merrowind.Talvora.png
  usr/share/icons/hicolor/48x48/apps/com.merrowind.Talvora.png
)

DESTDIR="$work/stage" cmake --install "$build_dir" --prefix /usr >/dev/null
for file in "${expected[@]}"; do
  [ -f "$work/stage/$file" ] || fail "cmake --install did not install /$file"
done
grep -qx 'Exec=talvora /setup' "$work/stage/usr/share/applications/com.merrowind.Talvora.Setup.desktop" \
  || fail "the settings launcher does not start /setup"
grep -qx 'Exec=talvora-archief' "$work/stage/usr/share/applications/com.merrowind.Talvora.Archief.desktop" \
  || fail "the archive station's launcher does not start talvora-archief"

(cd "$build_dir" && cpack -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/talvora_*.deb)
info=$(dpkg-deb --info "$deb")
grep -q '^ Depends: .*libwx' <<<"$info" || fail "the package does not depend on wxWidgets"
# One version everywhere: the package, the software-centre description and
# the About box all take it from project(VERSION).
version=$(dpkg-deb -f "$deb" Version)
grep -q "<release version=\"$version\"" "$work"/stage/usr/share/metainfo/com.merrowind.Talvora.metainfo.xml \
  || fail "the software-centre description does not name version $version"
grep -q "TALVORA_VERSION \"$version\"" "$build_dir"/generated/Version.h \
  || fail "the program's version header does not say $version"

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-not-root -i "$deb" >/dev/null
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package did not install /$file"
done
dpkg --root="$root" --force-not-root -r talvora >/dev/null
left=$(cd "$root" && find usr -type f 2>/dev/null || true)
[ -z "$left" ] || fail "files left after removal: $left"
echo "package: $(basename "$deb") installs and removes cleanly"
