# Sourced by the whole-program scripts that need a real X server.
# start_xvfb: starts Xvfb on a display number of its own choosing (so two
# servers never race for one), waits until it accepts connections, exports
# DISPLAY and leaves the server's pid in xvfb_pid. A server that does not come
# up within 30 seconds ends the calling script with status 1, so a program is
# never started against a display that is not there.
# -noreset: by default an X server resets itself when its last client leaves,
# and refuses connections while it does; the readiness probe below is such a
# client, so without it a program started right after the probe could find no
# display (about one connection in two hundred did).
start_xvfb() {
  local log number=""
  log=$(mktemp)
  : >"$log.fd"  # exists before the server writes to it, so the first read finds it
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$log.fd" >"$log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 300); do
    number=$(tr -dc 0-9 <"$log.fd" 2>/dev/null)
    [ -n "$number" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$log.fd"
  if [ -z "$number" ]; then
    echo "Xvfb did not start:"; cat "$log"; rm -f "$log"
    kill "$xvfb_pid" 2>/dev/null
    exit 1
  fi
  rm -f "$log"
  export DISPLAY=":$number"
  for _ in $(seq 100); do xprop -root >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "Xvfb on $DISPLAY does not answer"
  kill "$xvfb_pid" 2>/dev/null
  exit 1
}

# wait_for_window PID LOG TENTHS: waits up to TENTHS tenths of a second for a
# window titled "^vorna" and leaves its id in win. Ends the calling script
# with status 1 (and the tail of LOG) when PID ends first or no window comes.
wait_for_window() {
  local pid="$1" log="$2" tenths="$3"
  win=""
  for _ in $(seq "$tenths"); do
    win=$(xdotool search --name '\^vorna' 2>/dev/null | head -n1)
    [ -n "$win" ] && return 0
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; echo "ended with status $? before its window appeared"; tail -n 40 "$log"; exit 1
    fi
    sleep 0.1
  done
  echo "no window titled ^vorna"; tail -n 40 "$log"; exit 1
}

# escape_until_exit PID WIN: releases Escape on the window until PID has ended
# (a loaded machine may take a while to map the window and read its keys),
# and leaves PID's status in status (124 when it never ended).
escape_until_exit() {
  local pid="$1" window="$2"
  status=124
  for _ in 1 2 3 4 5; do
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key --clearmodifiers Escape
    for _ in $(seq 100); do
      if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; status=$?; return 0; fi
      sleep 0.1
    done
  done
}
