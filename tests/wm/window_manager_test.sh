#!/usr/bin/env bash
# window_manager_test.sh PROGRAM SITE_SERVER
# The real program under a window manager (openbox on Xvfb), driven with the pointer and the
# keyboard, against the demo site offering a newer version:
# - a quick click on the title strip leaves the window where it is, a press and move drags it
#   along with the pointer, and the window keeps its size when asked to change it;
# - a still and a GIF reach the clipboard; the balloon tip opens at the pointer, stands on the
#   main window (its transient parent), never takes the focus, fades, and a click on the picture
#   under it copies that picture; after a keyboard press with the pointer away it opens at the
#   control pressed;
# - the tip window opens centred over the main window and closes on a click;
# - the update window stands on the main window, offers no maximise, and outlives it;
# - one program per user: what a killed program left is taken over, a second start and the
#   commands hand over with their statuses, a click on the tray icon hides and shows the window,
#   a shown window takes typing into 搜索框, hide after copy hides it, and after --quit the
#   commands find no program;
# - nothing on the program's stderr.
# Every wait polls for what it waits for: the machine may be busy. With MW_SHOTS=DIR set, it
# saves screenshots there.
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
  exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" --inside "$(realpath "$1")" "$(realpath "$2")"
fi
program=$2
site_server=$3
source "$(dirname "$(realpath "$0")")/../support/x11_session.sh"
export QT_QPA_PLATFORM=xcb HOME=$work XDG_CONFIG_HOME=$work/.config XDG_CACHE_HOME=$work/.cache
export XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$XDG_RUNTIME_DIR"

start_openbox

# A copy of its own with its settings beside it, so that no first-run message box shows, and
# the sites of a demo site that offers version 1.4.
cp "$program" "$work/memwick"
printf '[收藏]\r\n地址=%s\r\n' "$work/我的收藏" | iconv -f UTF-8 -t GBK >"$work/MW_scdz.ini"
"$site_server" --newest-version 1.4 --write "$work/MW_sites.ini" >"$work/demo.log" 2>&1 &
pids+=($!)
wait_for 30 "sites file of the demo site" test -s "$work/MW_sites.ini"
"$work/memwick" >"$work/program.log" 2>"$work/program.err" &
pid=$!
pids+=("$pid")
window=
main_window_shown() {
  kill -0 "$pid" 2>/dev/null || { cat "$work/program.err"; fail "the program ended"; }
  # By its whole title: the balloon tip's window bears the application's name.
  for candidate in $(xdotool search --pid "$pid" --onlyvisible --name . 2>/dev/null); do
    [ "$(xdotool getwindowname "$candidate")" = "Memwickv1.3" ] && window=$candidate
  done
  [ -n "$window" ]
}
wait_for 60 "main window" main_window_shown
# The visible windows of the program, one "id x y width height name" a line.
windows() {
  local id
  for id in $(xdotool search --pid "$pid" --onlyvisible --classname . 2>/dev/null); do
    xdotool getwindowgeometry "$id" 2>/dev/null | awk -v id="$id" -v name="$(xdotool getwindowname "$id" 2>/dev/null)" \
      '/Position:/ {split($2, p, ",")} /Geometry:/ {split($2, s, "x")} END {print id, p[1], p[2], s[1], s[2], name}'
  done
}
# The start-up offers version 1.4 in a message box: declined, 标签_更新 offers it later.
offer=
offer_shown() { offer=$(windows | awk '$6 == "信息：" {print $1; exit}'); [ -n "$offer" ]; }
wait_for 60 "the offer of a newer version" offer_shown
xdotool windowactivate --sync "$offer" key Escape
offer_gone() { ! windows | awk '{print $1}' | grep -qx "$offer"; }
wait_for 30 "the offer to close" offer_gone
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

shot() { [ -z "${MW_SHOTS:-}" ] || import -window root "$MW_SHOTS/$1.png"; }
read -r x y w h < <(geometry)
# "x y" of the centre of 图片框k (1..8) in window coordinates.
slot_centre() { echo $((16 + 160 * (($1 - 1) % 4) + 76)) $((136 + 192 * (($1 - 1) / 4) + 92)); }
clipboard() { xclip -selection clipboard -t "$1" -o 2>/dev/null | base64 -w0; }
clipboard_types() { xclip -selection clipboard -t TARGETS -o 2>/dev/null | tr '\n' ' '; }
# "id x y width height" of the balloon tip while it shows.
balloon=
balloon_shown() {
  balloon=$(windows | awk -v main="$window" '$1 != main && $5 > 0 && $5 < 100 {print $1, $2, $3, $4, $5; exit}')
  [ -n "$balloon" ]
}
no_balloon() { ! balloon_shown; }
transient_for() { xprop -id "$1" WM_TRANSIENT_FOR 2>/dev/null | awk '{print $NF}'; }
main_hex=$(printf '0x%x' "$window")

# A still: image/png and no GIF.
read -r sx sy < <(slot_centre 5)
xdotool mousemove --window "$window" "$sx" "$sy" click 1
png_copied() { [ -n "$(clipboard image/png)" ]; }
wait_for 60 "the still picture of 图片框5 on the clipboard" png_copied
still=$(clipboard image/png)
case "$(clipboard_types)" in *image/gif*) fail "a still copy offers image/gif: $(clipboard_types)" ;; esac
wait_for 10 "the balloon to go" no_balloon

# The balloon at the pointer, on the main window, leaving it the focus; it covers 图片框6, and a
# click there copies 图片框6.
xdotool mousemove --window "$window" "$sx" "$sy" click 1
wait_for 10 "the balloon tip after a copy" balloon_shown
read -r bid bx by bw bh <<<"$balloon"
xprop -spy -id "$bid" _NET_WM_WINDOW_OPACITY >"$work/opacity.log" 2>&1 &
pids+=($!)
six_x=$((bx + bw - 8 - x)) six_y=$((by + bh / 2 - y))
[ "$six_x" -ge 168 ] && [ "$six_x" -lt 320 ] && [ "$six_y" -ge 328 ] && [ "$six_y" -lt 512 ] ||
  fail "the balloon at $bx,$by ${bw}x$bh does not cover 图片框6"
xdotool mousemove --window "$window" "$six_x" "$six_y" click 1
[ $((bx - x - sx)) -ge -4 ] && [ $((bx - x - sx)) -le 4 ] && [ $((by - y - sy)) -ge -4 ] && [ $((by - y - sy)) -le 4 ] ||
  fail "the balloon opened at $((bx - x)),$((by - y)) in the window, the pointer at $sx,$sy"
[ "$(transient_for "$bid")" = "$main_hex" ] || fail "the balloon stands on $(transient_for "$bid"), not on $main_hex"
[ "$(xdotool getactivewindow)" = "$window" ] || fail "the balloon took the focus from the main window"
other_copied() { local now; now=$(clipboard image/png); [ -n "$now" ] && [ "$now" != "$still" ]; }
wait_for 10 "the copy of 图片框6 by a click on the balloon over it" other_copied
faded() { grep -qE '= [0-9]+' "$work/opacity.log"; }
wait_for 10 "the balloon to fade" faded
echo "ok: the balloon opens at the pointer on the main window, a click on it copies the picture under it, it fades"

# A GIF: the top row from the right, so that no balloon covers the next box clicked.
gif=
copied() { echo "$(clipboard_types) $(clipboard image/png | md5sum)"; }
for k in 4 3 2 1; do
  before=$(copied)
  read -r kx ky < <(slot_centre "$k")
  xdotool mousemove --window "$window" "$kx" "$ky" click 1
  changed() { [ "$(copied)" != "$before" ]; }
  wait_for 10 "the copy of 图片框$k" changed
  case "$(clipboard_types)" in *image/gif*) gif=$k; break ;; esac
done
[ -n "$gif" ] || fail "no box of the top row copied a GIF"
[ "$(xclip -selection clipboard -t image/gif -o | head -c 4)" = "GIF8" ] || fail "image/gif holds no GIF"
echo "ok: a still and a GIF (图片框$gif) reach the clipboard"

# A keyboard press with the pointer away: into the search box, Tab to the magnifier and on to
# 图片框1, Space.
xdotool mousemove --window "$window" 332 88 click 1
xdotool key Tab Tab
away_x=$((x > 400 ? x / 2 : x + w + 50))
xdotool mousemove "$away_x" $((y + h / 2))
wait_for 10 "the balloon to go" no_balloon
xdotool key space
wait_for 10 "the balloon tip after a keyboard press" balloon_shown
read -r bid bx by bw bh <<<"$balloon"
[ $((bx - x)) -ge 16 ] && [ $((bx - x)) -lt 168 ] && [ $((by - y)) -ge 136 ] && [ $((by - y)) -lt 320 ] ||
  fail "after a keyboard press the balloon opened at $((bx - x)),$((by - y)) in the window, not at 图片框1"
[ "$(xdotool getactivewindow)" = "$window" ] || fail "the balloon took the focus after a keyboard press"
shot x11-balloon-after-keyboard-press
echo "ok: after a keyboard press the balloon opens at the control pressed"

# The tip window: from 打赏_按钮 on the 收藏 page, centred over the main window.
xdotool mousemove --window "$window" 265 28 click 1
xdotool mousemove --window "$window" 168 444 click 1
tip=
tip_shown() { tip=$(windows | awk -v main="$window" '$1 != main && $4 == 472 && $5 == 415 {print $1, $2, $3; exit}'); [ -n "$tip" ]; }
wait_for 10 "the tip window" tip_shown
read -r tid tx ty <<<"$tip"
[ "$((tx - x)),$((ty - y))" = "95,114" ] || fail "the tip window stands at $((tx - x)),$((ty - y)) from the main window, not at 95,114"
[ "$(transient_for "$tid")" = "$main_hex" ] || fail "the tip window stands on $(transient_for "$tid"), not on $main_hex"
shot x11-tip-window
xdotool mousemove "$((tx + 200))" "$((ty + 200))" click 1
tip_gone() { ! tip_shown; }
wait_for 10 "the tip window to close on a click" tip_gone
echo "ok: the tip window opens centred over the main window and closes on a click"

# The update window from 标签_更新 (blue since the offer was declined): on the main window, no
# maximise, and still there when the main window closes.
xdotool mousemove --window "$window" 372 596 click 1
update=
update_shown() { update=$(windows | awk '$6 == "更新窗口v1.3" {print $1; exit}'); [ -n "$update" ]; }
wait_for 30 "the update window" update_shown
[ "$(transient_for "$update")" = "$main_hex" ] || fail "the update window stands on $(transient_for "$update"), not on $main_hex"
allowed() { xprop -id "$update" _NET_WM_ALLOWED_ACTIONS 2>/dev/null | grep -q _NET_WM_ACTION_CLOSE; }
wait_for 30 "the update window's allowed actions" allowed
xprop -id "$update" _NET_WM_ALLOWED_ACTIONS | grep -q MAXIMIZE &&
  fail "the update window offers to maximise: $(xprop -id "$update" _NET_WM_ALLOWED_ACTIONS)"
shot x11-update-window
xdotool mousemove --window "$window" 641 30 click 1
main_gone() { ! windows | awk '{print $1}' | grep -qx "$window"; }
wait_for 30 "the main window to close" main_gone
# Still running, the update window answers its button.
xdotool mousemove --window "$update" 256 344 click 1
answered() { kill -0 "$pid" 2>/dev/null && windows | awk '$6 == "信息："' | grep -q .; }
wait_for 30 "the message of 按钮1 after the main window closed" answered
echo "ok: the update window stands on the main window, offers no maximise, and outlives it"

[ ! -s "$work/program.err" ] || fail "the program wrote on stderr: $(sort "$work/program.err" | uniq -c)"
echo "ok: nothing on the program's stderr"

# One program per user. Killed, the program leaves its socket and lock behind as a crashed one
# would; the next start takes them over, with hide after copy turned on in its settings.
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
[ -S "$XDG_RUNTIME_DIR/memwick.socket" ] && [ -s "$XDG_RUNTIME_DIR/memwick.lock" ] ||
  fail "the killed program left no socket and lock behind"
printf '[收藏]\r\n地址=%s\r\n[设置]\r\n复制后隐藏=1\r\n' "$work/我的收藏" | iconv -f UTF-8 -t GBK >"$work/MW_scdz.ini"
# A system tray for it, at the screen's bottom.
trayer --edge bottom --align right --widthtype pixel --width 200 --height 32 >"$work/trayer.log" 2>&1 &
pids+=($!)
tray_there() { xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null && xdotool search --classname '^trayer$' >/dev/null; }
wait_for 30 "the system tray" tray_there
"$work/memwick" >"$work/program.log" 2>"$work/program.err" &
pid=$!
pids+=("$pid")
window=
wait_for 60 "main window of a start after a killed one" main_window_shown
wait_for 60 "the offer of a newer version" offer_shown
xdotool windowactivate --sync "$offer" key Escape
wait_for 30 "the offer to close" offer_gone
# says STATUS ARGS...: memwick ARGS ends with STATUS; what it said on stderr is in $said.
says() {
  local want=$1 got=0
  shift
  said=$("$work/memwick" "$@" 2>&1 >/dev/null) || got=$?
  [ "$got" = "$want" ] || fail "memwick $* ended with $got, not $want: $said"
}
shown() { xdotool search --pid "$pid" --onlyvisible --name '^Memwickv1[.]3$' 2>/dev/null | grep -qx "$window"; }
hidden() { ! shown; }
ready() { shown && [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ]; }
# 搜索框's text, as it copies it; and what 标签_记录 shows.
search_box() { xdotool key ctrl+a ctrl+c && xclip -selection clipboard -o 2>/dev/null; }
record() { import -window "$window" -crop 144x48+16+528 +repage rgb:- 2>/dev/null | md5sum; }
says 0 --hide
wait_for 10 "the window to hide" hidden
says 0
wait_for 10 "the window shown and active after a second start" ready
[ "$(pgrep -cxf "$work/memwick")" = 1 ] || fail "a second start left $(pgrep -cxf "$work/memwick") programs"
says 0 --toggle
wait_for 10 "the window to hide on --toggle" hidden
says 0 --toggle
wait_for 10 "the window shown and active on --toggle" ready
# Its icon in the tray: a click hides the window, another shows it (away from the first: no
# double click).
icon=
icon_shown() { icon=$(windows | awk -v main="$window" '$1 != main && $4 <= 32 && $5 <= 32 {print $1; exit}'); [ -n "$icon" ]; }
wait_for 30 "the program's icon in the tray" icon_shown
xdotool mousemove --window "$icon" 4 4 click 1
wait_for 10 "the window to hide on a click on the tray icon" hidden
xdotool mousemove --window "$icon" 18 18 click 1
wait_for 10 "the window shown and active on a click on the tray icon" ready
# The summon key, grabbed on the root window: pressed anywhere, it hides the window, then shows it.
xdotool key ctrl+alt+m
wait_for 10 "the window to hide on Ctrl+Alt+M" hidden
xdotool key ctrl+alt+m
wait_for 10 "the window shown and active on Ctrl+Alt+M" ready
shot x11-after-shortcut
before=$(record)
# On keys of their own: xdotool types a character the map lacks on a key it maps only for that
# moment, and a program that reads the map a moment later finds the key empty.
xmodmap -e "keycode 250 = U732B" -e "keycode 251 = U54AA"
xdotool type --delay 20 猫咪
[ "$(search_box)" = 猫咪 ] || fail "typing after a show put '$(search_box)' in 搜索框"
xdotool key Return
searched() { [ "$(record)" != "$before" ]; }
wait_for 30 "the search after typing and Enter" searched
says 0 --search 狗子
searched_word() { [ "$(search_box)" = 狗子 ] && [ "$(record)" != "$before" ]; }
wait_for 30 "狗子 in 搜索框 after --search" searched_word
says 1 --search 😀
case "$said" in *GBK*) ;; *) fail "--search 😀 said: $said" ;; esac
shot x11-after-search-command
read -r kx ky < <(slot_centre 1)
xdotool mousemove --window "$window" "$kx" "$ky" click 1
wait_for 30 "the window to hide after a copy" hidden
[ -n "$(clipboard_types | grep -o image)" ] || fail "the copy before hiding left $(clipboard_types)"
says 0 --quit
ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 30 "the program to end on --quit" ended
for command in --show --hide --quit; do
  says 1 "$command"
  case "$said" in *"not running"*) ;; *) fail "memwick $command without a program said: $said" ;; esac
done
[ ! -s "$work/program.err" ] || fail "the program wrote on stderr: $(sort "$work/program.err" | uniq -c)"
echo "ok: what a killed program left is taken over; a second start, the commands, the tray icon and the summon key hand over; typing after a show searches; a copy hides the window; --quit ends it"
