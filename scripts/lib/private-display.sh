# Sourced by the scripts and tests that need an X display of their own:
#   start_private_display [SCREEN]   (SCREEN as Xvfb's -screen 0 takes it; 1280x800x24 unless given)
# starts Xvfb on a display number the server claims itself (-displayfd: it takes the first number whose lock file it
# can create, so two scripts starting at the same moment never pick the same one), waits until it accepts clients,
# exports DISPLAY and sets private_display_pid. stop_private_display ends it.

start_private_display() {
    local ready
    ready="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 "${1:-1280x800x24}" -nolisten tcp 3>"$ready" </dev/null >/dev/null 2>&1 &
    private_display_pid=$!
    local number=""
    for _ in $(seq 100); do
        number="$(head -n1 "$ready")"
        [ -n "$number" ] && break
        kill -0 "$private_display_pid" 2>/dev/null || break
        sleep 0.1
    done
    rm -f "$ready"
    if [ -z "$number" ]; then
        echo "no private X display: Xvfb did not start (is the package xvfb installed?)" >&2
        return 1
    fi
    export DISPLAY=":$number"
}

stop_private_display() {
    [ -z "${private_display_pid:-}" ] && return 0
    kill "$private_display_pid" 2>/dev/null || true
    wait "$private_display_pid" 2>/dev/null || true
    private_display_pid=""
}
