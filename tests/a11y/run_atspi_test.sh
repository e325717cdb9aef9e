#!/usr/bin/env bash
# The AT-SPI end-to-end test with everything it needs and no desktop: a virtual X server, a
# private D-Bus session and the accessibility bus, then atspi_test.py against PROGRAM.
# Usage: run_atspi_test.sh PROGRAM [--dump]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: a random number, far from the :0 that desktops and other test runs take
# (the abstract X socket is shared beyond this machine's /tmp); another number if it is taken.
for _ in 1 2 3 4 5; do
  : >"$work/display"
  Xvfb ":$((100 + RANDOM % 800))" -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb=$!
  deadline=$((SECONDS + 60))
  while [ "$SECONDS" -lt "$deadline" ]; do
    [ -s "$work/display" ] || ! kill -0 "$xvfb" 2>/dev/null && break
    sleep 0.1
  done
  [ -s "$work/display" ] && break
  xvfb=""
done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Inside the session: the accessibility bus first, then the test (Debian's python, which has pyatspi).
session='
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=$!
trap "kill $launcher 2>/dev/null" EXIT
deadline=$((SECONDS + 60))
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q "boolean true"; do
  [ "$SECONDS" -lt "$deadline" ] || { echo "the accessibility bus did not start"; exit 1; }
  sleep 0.1
done
/usr/bin/python3 "$@"
'
dbus-run-session -- bash -c "$session" session "$here/atspi_test.py" "$@"
