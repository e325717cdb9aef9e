#!/usr/bin/env bash
# Builds the Debian package into build-deb/ with Debian's hardening flags, then checks it: the
# desktop entry and the AppStream metadata it ships, lintian (no errors allowed) and its files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
scripts/build.sh build-deb -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DMW_BUILD_TESTS=OFF -DMW_BUILD_BENCH=OFF \
  "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags" \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
rm -f build-deb/memwick_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
deb=$(echo build-deb/memwick_*.deb)
echo "== $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
id=io.github.memwick.Memwick

echo "== desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$id.desktop"
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
echo "== lintian"
lintian --fail-on error --display-info "$deb"

echo "== dpkg -c"
listing=$(dpkg -c "$deb")
echo "$listing"
expected=(
  ./usr/bin/memwick ./usr/bin/memwick-site ./usr/libexec/memwick/memwick-ocr
  "./usr/share/applications/$id.desktop" "./usr/share/metainfo/$id.metainfo.xml"
  "./usr/share/icons/hicolor/scalable/apps/$id.svg"
  ./usr/share/man/man1/memwick.1.gz ./usr/share/man/man1/memwick-site.1.gz
  ./usr/share/doc/memwick/copyright ./usr/share/doc/memwick/changelog.gz
  ./lib/systemd/system/memwick-site.service ./usr/lib/sysusers.d/memwick-site.conf
)
for size in 16 24 32 48 64 128 256 512; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
paths=$(awk '{print $6}' <<<"$listing")
missing=0
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$paths" || { echo "missing from the package: $path"; missing=1; }
done
[ $missing -eq 0 ]

echo "== systemd-analyze verify, and the postinst makes the service's user"
# (Its program and manual page are not installed on this system.)
warnings=$(systemd-analyze verify "$root/lib/systemd/system/memwick-site.service" 2>&1 |
  grep -v "is not executable\|man memwick-site" || true)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
dpkg-deb --ctrl-tarfile "$deb" | tar -tf - | grep -qx ./postinst
grep -q "systemd-sysusers memwick-site.conf" <(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./postinst)

echo "== apt can install it on this system"
apt-get install --simulate -qq "./$deb" >/dev/null
echo "package checks passed"
