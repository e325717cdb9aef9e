#!/usr/bin/env bash
# screenshots.sh [BUILD_DIR]: photographs the real program under Xvfb, against its embedded demo
# site, for the AppStream metadata: packaging/screenshots/home.png (the 主页 page as start-up
# leaves it) and templates.png (the 编辑 page). Needs xvfb, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=packaging/screenshots
mkdir -p "$out"
if [ -z "${MW_SCREENSHOTS_IN_XVFB:-}" ]; then
  exec env MW_SCREENSHOTS_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# A copy of the program in a folder of its own, with its settings, so that no first-run message
# box covers the window.
cp "$build/src/shell/memwick" "$home/memwick"
printf '[收藏]\n地址=%s\n' "$home/我的收藏" | iconv -f UTF-8 -t GBK >"$home/MW_scdz.ini"
HOME=$home XDG_CONFIG_HOME=$home/.config "$home/memwick" >"$home/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; rm -rf "$home"' EXIT
window=
for _ in $(seq 1 60); do
  window=$(xdotool search --pid $pid --onlyvisible --name '^Memwick' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.5
done
[ -n "$window" ] || { cat "$home/log"; echo "the window did not show" >&2; exit 1; }
# Start-up loads the new pictures and the latest templates.
sleep 6
import -window "$window" "$out/home.png"
# The 编辑 button of the title strip.
xdotool mousemove --window "$window" 205 28 click 1
sleep 4
import -window "$window" "$out/templates.png"
identify "$out/home.png" "$out/templates.png"
