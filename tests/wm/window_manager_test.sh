#!/usr/bin/env bash
# window_manager_test.sh PROGRAM
# The real program under a window manager (openbox on Xvfb), driven with the pointer: a quick
# click on the title strip leaves the window where it is, a press and move drags it along with
# the pointer, and the window keeps its size when asked to change it. Every wait polls for what
# it waits for: the machine may be busy.
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
  exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" --inside "$(realpath "$1")"
fi
program=$2
work=$(mktemp -d)
pids=()
# Ended before the display goes away, so that none of them dies of a broken X connection.
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# wait_for SECONDS WHAT COMMAND...: runs COMMAND every 0.1 s until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "no $what within ${seconds}s"
    sleep 0.1
  done
}
export QT_QPA_PLATFORM=xcb HOME=$work XDG_CONFIG_HOME=$work/.config XDG_CACHE_HOME=$work/.cache
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
wait_for 60 "window manager" wm_running

# A copy of its own with its settings beside it, so that no first-run message box shows.
cp "$program" "$work/memwick"
printf '[收藏]\r\n地址=%s\r\n' "$work/我的收藏" | iconv -f UTF-8 -t GBK >"$work/MW_scdz.ini"
"$work/memwick" >"$work/program.log" 2>&1 &
pid=$!
pids+=("$pid")
window=
main_window_shown() {
  kill -0 "$pid" 2>/dev/null || { cat "$work/program.log"; fail "the program ended"; }
  # By its whole title: the balloon tip's window bears the application's name.
  for candidate in $(xdotool search --pid "$pid" --onlyvisible --name . 2>/dev/null); do
    [ "$(xdotool getwindowname "$candidate")" = "Memwickv1.3" ] && window=$candidate
  done
  [ -n "$window" ]
}
wait_for 60 "main window" main_window_shown
# Taken over by the window manager, with the fixed size in its size hints.
managed() { xprop -id "$window" WM_STATE 2>/dev/null | grep -q "window state: Normal"; }
wait_for 30 "WM_STATE from the window manager" managed
read -r hint_w hint_h < <(xdotool getwindowgeometry "$window" | awk '/Geometry:/ {split($2, s, "x"); print s[1], s[2]}')
fixed_size_hints() {
  local hints
  hints=$(xprop -id "$window" WM_NORMAL_HINTS 2>/dev/null)
  grep -q "minimum size: $hint_w by $hint_h" <<<"$hints" && grep -q "maximum size: $hint_w by $hint_h" <<<"$hints"
}
wait_for 30 "fixed size in the size hints" fixed_size_hints

# "x y width height" of the window on the screen.
geometry() {
  xdotool getwindowgeometry "$window" | awk '/Position:/ {split($2, p, ",")} /Geometry:/ {split($2, s, "x")}
    END {print p[1], p[2], s[1], s[2]}'
}
# "x y" of the pointer.
pointer() { xdotool getmouselocation --shell | awk -F= '/^X=/ {x=$2} /^Y=/ {y=$2} END {print x, y}'; }
read -r x y w h < <(geometry)

# A click without a move, then the pointer moves on: nothing may follow it. What would follow
# shows in the drag below, which starts from where the window stood before the click.
xdotool mousemove --window "$window" 300 20 click 1
xdotool mousemove_relative 120 90

# A press and move: the window manager takes the move over at a move with the button held, and
# from then on the window follows the pointer.
xdotool mousemove --window "$window" 300 20 mousedown 1
read -r press_x press_y < <(pointer)
taken_over() {
  xdotool mousemove_relative 2 1
  read -r wx wy _ _ < <(geometry)
  [ "$wx $wy" != "$x $y" ]
}
wait_for 30 "move of the window after a press and move on the title strip" taken_over
read -r wx1 wy1 _ _ < <(geometry)
read -r px1 py1 < <(pointer)
# It moved by what the pointer moved after the window manager took over, at most by what it
# moved since the press; more, and the click above had left the window on the pointer.
[ $((wx1 - x)) -ge 0 ] && [ $((wx1 - x)) -le $((px1 - press_x)) ] &&
  [ $((wy1 - y)) -ge 0 ] && [ $((wy1 - y)) -le $((py1 - press_y)) ] ||
  fail "the window went from $x,$y to $wx1,$wy1 while the pointer moved by $((px1 - press_x)),$((py1 - press_y)) after the press"
for _ in $(seq 10); do xdotool mousemove_relative 10 6; done
read -r px2 py2 < <(pointer)
followed() {
  read -r wx2 wy2 _ _ < <(geometry)
  [ "$((wx2 - wx1)) $((wy2 - wy1))" = "$((px2 - px1)) $((py2 - py1))" ]
}
wait_for 30 "window following the pointer by $((px2 - px1)),$((py2 - py1))" followed
xdotool mouseup 1
dx=$((wx2 - x)) dy=$((wy2 - y))

# Its size stays: the skin would tile. The window manager handles requests in order: once it
# has made the move asked after the resize, it has dealt with the resize.
xdotool windowsize "$window" 900 800
xdotool windowmove "$window" $((wx2 - 30)) $((wy2 - 20))
moved_back() {
  read -r wx3 wy3 w3 h3 < <(geometry)
  [ "$wx3 $wy3" != "$wx2 $wy2" ]
}
wait_for 30 "move asked after the resize" moved_back
[ "${w3}x$h3" = "${w}x$h" ] || fail "the window was resized from ${w}x$h to ${w3}x$h3"
echo "ok: a click leaves the window at $x,$y; a press and move drags it by $dx,$dy; it stays ${w}x$h"
