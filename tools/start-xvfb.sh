# Sourced by the scripts that need a private X display. start_xvfb starts Xvfb on the first free
# display from 90 on, exports DISPLAY and sets xvfb_pid; it returns only once the server has said
# it accepts connections, and fails when no display could be started. A number whose lock file or
# socket exists is skipped; one that Xvfb still cannot take (a socket of another file-system root)
# makes Xvfb exit, and the search goes on.
XvfbFirstDisplay=90
XvfbLastDisplay=160
XvfbStartSeconds=30

start_xvfb() {
  local n ready waited screens
  # TEMPOTALLY_XVFB_SCREENS: other -screen arguments, for tests that need several monitors.
  read -r -a screens <<<"${TEMPOTALLY_XVFB_SCREENS:--screen 0 1280x1024x24}"
  ready=$(mktemp)
  for n in $(seq "$XvfbFirstDisplay" "$XvfbLastDisplay"); do
    [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] || continue
    : >"$ready"
    # -displayfd: the server writes its display number there once it accepts connections.
    Xvfb ":$n" "${screens[@]}" -nolisten tcp -displayfd 3 3>"$ready" >/dev/null 2>&1 &
    xvfb_pid=$!
    for waited in $(seq $((XvfbStartSeconds * 10))); do
      [ -s "$ready" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -s "$ready" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
      rm -f "$ready"
      export DISPLAY=":$n"
      return 0
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  done
  rm -f "$ready"
  echo "no X display could be started (Xvfb on :$XvfbFirstDisplay to :$XvfbLastDisplay)" >&2
  return 1
}
