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
