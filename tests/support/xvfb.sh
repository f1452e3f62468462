# Starts an X server for a run that needs a screen (sourced by the host
# window test and the Wine runs). start_xvfb DIR GEOMETRY: Xvfb on a free
# display, its log in DIR; sets XVFB_PID and exports DISPLAY, or says why
# it could not start and returns 1.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$1/display" ] && break
        sleep 0.1
    done
    [ -s "$1/display" ] || { echo "FAIL: Xvfb did not start" >&2; cat "$1/xvfb.log" >&2; return 1; }
    export DISPLAY=":$(cat "$1/display")"
}
