# What the test scripts that run inside their own Xvfb share (sourced): a work folder, the
# processes they start (listed in pids), failing, polling waits, and openbox.
work=$(mktemp -d)
pids=()
# Ended before the display goes away, so that none of them dies of a broken X connection.
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT
# fail WHAT: ends the script; the script's own failure_details, where it has one, says more.
fail() {
  echo "FAIL: $*" >&2
  if declare -F failure_details >/dev/null; then failure_details >&2; fi
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
# The window manager, once it manages the screen. (grep reads to the end: one that stopped at
# the first match could fail the pipe.)
start_openbox() {
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  pids+=($!)
  wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep "window id" >/dev/null; }
  wait_for 60 "window manager" wm_running
}
