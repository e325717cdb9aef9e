#!/usr/bin/env bash
# Installs what Memwick needs to build, run, test and package on Debian 12.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libxcb1-dev libxcb-keysyms1-dev libxkbcommon-dev libxxhash-dev libcurl4-openssl-dev libpcre2-dev libpng-dev libjpeg62-turbo-dev libgif-dev
  # WebP (stills and animations, libwebpdemux; libwebpmux writes the demo's and the tests') and AVIF (libavif with dav1d)
  libwebp-dev libavif-dev
  # an animated WebP is copied as a GIF: its frames quantised with libimagequant (pngquant's library)
  libimagequant-dev
  # Qt's own texts in Chinese (确定, 取消, the file and folder dialogs)
  qt6-translations-l10n
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev
  # the picture library: its index and the words read from the pictures (the Chinese model)
  libsqlite3-dev libtesseract-dev libtesseract5 tesseract-ocr-chi-sim
  # Traditional captions: the model that reads them, and OpenCC with its t2s table, which folds
  # them to Simplified so that either script finds both
  tesseract-ocr-chi-tra libopencc-dev libopencc-data
  # a model that reads no ideographs, for the test that each request goes to the model asked for
  tesseract-ocr-eng
  fonts-wqy-microhei xvfb xauth xdotool
  # the stand-ins of the editor's 宋体 (a Ming) and 楷体 and 隶书 (a Kai)
  fonts-arphic-uming fonts-arphic-ukai
  # more Chinese faces for the captions the library benchmark draws (one that leaves the
  # windows' own font as it is)
  fonts-wqy-zenhei
  # the end-to-end accessibility test: a D-Bus session, the AT-SPI bus and a Python AT-SPI client
  dbus-daemon dbus-bin at-spi2-core python3-pyatspi
  # the same test clicks with a real pointer and reads the clipboard; a window manager for another
  xclip openbox x11-utils
  # and reads what a label shows from a crop of the window (import), with a system tray
  imagemagick trayer
  # Wayland: Qt's platform plugin, and for its test a compositor (weston inside Xvfb) and its clipboard
  qt6-wayland weston wl-clipboard
  # the desktop icon's SVG, the .deb (dpkg-shlibdeps needs file) and its checks
  qt6-svg-dev file desktop-file-utils appstream lintian
  # the paste tests' targets: a GTK 3 and a GTK 4 program (Python bindings) and a browser
  python3-gi gir1.2-gtk-3.0 gir1.2-gtk-4.0 chromium
  # the global shortcut's portal test: the real portal frontend, and a backend of the test's own in Python
  xdg-desktop-portal python3-dbus
  # the global shortcut's X11 test reads and changes the lock keys and the layout
  x11-xserver-utils x11-xkb-utils
  # memwick-site's shared collection: libpq to build against; PostgreSQL 15 (with pg_trgm, which
  # the search bench compares with) for the tests' throwaway servers; setpriv (util-linux) runs
  # them as nobody when the tests run as root
  libpq-dev postgresql-15 util-linux
  # a busy machine for the test suite's timing (stress-ng --cpu 2)
  stress-ng
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
