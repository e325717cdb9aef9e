#!/usr/bin/env bash
# x11_shortcut_test.sh PROBE
# The global shortcut on an X server (Xvfb, openbox), pressed through xdotool: two probes (see
# shortcut_probe.cpp) bind keys and print what they get.
# - Ctrl+Alt+M reaches the first, also with Num Lock on and with Caps Lock on;
# - a second program binding it is told that another program holds it;
# - once the first binds another key, the second can have Ctrl+Alt+M, and each gets its own;
# - after a change of keyboard layout that moves M to another key, the shortcut still comes.
# Every wait polls for what it waits for: the machine may be busy.
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
  exec env -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$(realpath "$1")"
fi
probe=$2
source "$(dirname "$(realpath "$0")")/../support/x11_session.sh"
failure_details() { for f in "$work"/*.out; do echo "== $f"; cat "$f"; done; }
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work
start_openbox

# start NAME KEYS: a probe whose stdin is the fifo NAME.in (held open on a descriptor).
start() {
  mkfifo "$work/$1.in"
  "$probe" "$2" <"$work/$1.in" >"$work/$1.out" 2>&1 &
  pids+=($!)
  exec {fd}>"$work/$1.in"
  eval "${1}_in=$fd"
}
said() { grep -qF -- "$2" "$work/$1.out"; }
presses() { grep -c '^activated token= time=[1-9]' "$work/$1.out" || true; }
# press KEYS NAME COUNT: presses KEYS until NAME has had COUNT presses (a press made while a
# probe binds again after a layout change is lost, as it is for a user).
press() {
  pressed() { xdotool key "$1"; [ "$(presses "$2")" -ge "$3" ]; }
  wait_for 30 "press $3 of $1 at $2" pressed "$@"
}
lock() { xset q | grep "$1: *$2" >/dev/null; }

start first Ctrl+Alt+M
wait_for 30 "grab of the first" said first "state active=1 keys=Ctrl+Alt+M problem="
press ctrl+alt+m first 1
xdotool key Num_Lock
wait_for 10 "Num Lock on" lock "Num Lock" on
press ctrl+alt+m first 2
xdotool key Num_Lock Caps_Lock
wait_for 10 "Caps Lock on" lock "Caps Lock" on
wait_for 10 "Num Lock off" lock "Num Lock" off
press ctrl+alt+m first 3
xdotool key Caps_Lock
wait_for 10 "Caps Lock off" lock "Caps Lock" off
echo "ok: Ctrl+Alt+M reaches the program, with Num Lock and with Caps Lock on"

start second Ctrl+Alt+M
wait_for 30 "the second told the key is taken" said second "state active=0 keys=Ctrl+Alt+M problem=Ctrl+Alt+M 已被其他程序占用"
echo "ok: a second program is told that Ctrl+Alt+M is taken"

echo "bind Ctrl+Alt+K" >&"$first_in"
wait_for 30 "the first bound again" said first "state active=1 keys=Ctrl+Alt+K problem="
echo "bind Ctrl+Alt+M" >&"$second_in"
wait_for 30 "the second's grab" said second "state active=1 keys=Ctrl+Alt+M problem="
press ctrl+alt+m second 1
press ctrl+alt+k first 4
[ "$(presses second)" -eq 1 ] || fail "Ctrl+Alt+K reached the second"
echo "ok: the first lets Ctrl+Alt+M go when it binds Ctrl+Alt+K; each gets its own key"

# In the French layout m lies where the US one has ';'.
code_of_m() { xmodmap -pke | awk '$4 == "m" && !code {code = $2} END {print code}'; }
before=$(code_of_m)
setxkbmap fr
moved() { [ "$(code_of_m)" != "$before" ]; }
wait_for 10 "m on another key" moved
press ctrl+alt+m second 2
[ "$(presses first)" -eq 4 ] || fail "the first had a press it did not bind"
echo "ok: after m moved from key $before to key $(code_of_m), Ctrl+Alt+M still comes"
echo "1 passed, 0 failed"
