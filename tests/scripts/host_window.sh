#!/bin/bash
# The emulator's own window, as a user meets it: perfmon on an X server
# (Xvfb) through SDL, its window read back from the X screen and compared
# with the device's own screenshot of the same run enlarged by the window's
# scale; the Threads button clicked with real pointer events; the window
# closed by the close request a window manager sends; and the dialog's close
# box pressed and held as a person holds it. Each way ends with exit code 0.
# Arguments: <source dir> <binary dir>.
set -u
bin=$2
perfmon=$bin/perfmon
# The window shows every device pixel as a square of this many screen pixels.
scale=2
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
xvfb=""
monitor=""
cleanup() {
    [ -n "$monitor" ] && kill -KILL "$monitor" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

[ -x "$perfmon" ] || { echo "FAIL: $perfmon not built" >&2; exit 1; }
for tool in Xvfb xdotool import convert compare python3; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is missing (bash scripts/setup.sh installs it)" >&2; exit 1; }
done

Xvfb -displayfd 3 -screen 0 800x720x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export SDL_VIDEODRIVER=x11
unset WAYLAND_DISPLAY

# Where things are on the device, from a headless run of the same layout:
# "x0 y0 x1 y1" of the window whose line matches.
timeout 60 "$perfmon" --headless --virtual-time --seconds 2 --dump-windows >"$work/layout.txt" 2>&1
rect_of() {
    sed -n "/$1/s/.* rect=(\([-0-9]*\),\([-0-9]*\))-(\([-0-9]*\),\([-0-9]*\)).*/\1 \2 \3 \4/p" "$2" | head -1
}
read -r tx0 ty0 tx1 ty1 <<<"$(rect_of 'id=1031 .*text="Threads"' "$work/layout.txt")"
read -r dx0 dy0 dx1 _ <<<"$(rect_of 'class="Dialog" text="Performance Monitor"' "$work/layout.txt")"
[ -n "${tx1:-}" ] && [ -n "${dx1:-}" ] || { echo "FAIL: no dialog or Threads button in the layout" >&2; \
    cat "$work/layout.txt" >&2; exit 1; }

# Starts perfmon in a window (run name $1, further options after it) and
# waits for its window: sets monitor (the pid) and window (the X window).
start_windowed() {
    local name=$1
    shift
    # A run that went wrong before it ended: it goes first.
    [ -n "$monitor" ] && kill -KILL "$monitor" 2>/dev/null && wait "$monitor" 2>/dev/null
    "$perfmon" --screenshot "$work/$name.png" --dump-windows "$@" >"$work/$name.txt" 2>"$work/$name.err" &
    monitor=$!
    window=$(timeout 30 xdotool search --sync --onlyvisible --name 'Performance Monitor - handheld device' |
        head -1)
    [ -n "$window" ] || { fail "$name: no window appeared"; cat "$work/$name.err" >&2; return 1; }
    sleep 2 # the monitor's first seconds: figures, graph and icon in place
}

# Waits up to 20 s for the monitor to end; sets code to its exit code
# (124 if it did not end).
await_exit() {
    for _ in $(seq 200); do
        kill -0 "$monitor" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$monitor" 2>/dev/null; then
        kill -KILL "$monitor"
        wait "$monitor" 2>/dev/null
        code=124
    else
        wait "$monitor"
        code=$?
    fi
    monitor=""
}

# What a window manager sends when its close button is pressed:
# WM_PROTOCOLS with WM_DELETE_WINDOW, to the window itself.
close_request() {
    python3 - "$1" <<'EOF'
import ctypes, sys
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("client", ClientMessage), ("pad", ctypes.c_long * 24)]

display = x.XOpenDisplay(None)
if not display:
    sys.exit("no display")
event = Event()
event.client.type = 33  # ClientMessage
event.client.window = int(sys.argv[1])
event.client.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.client.format = 32
event.client.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.client.data[1] = 0  # CurrentTime
sent = x.XSendEvent(display, event.client.window, 0, 0, ctypes.byref(event))
x.XFlush(display)
x.XCloseDisplay(display)
sys.exit(0 if sent else 1)
EOF
}

# Blacks out the parts that move on their own between the read-back and the
# device's screenshot a moment later: the figures, the graph, and the
# taskbar's notification area with the mini graph and the clock.
masked() {
    local in=$1 out=$2 s=$3 draw="" line
    for line in 'id=1029 ' 'id=1032 '; do
        read -r x0 y0 x1 y1 <<<"$(rect_of "$line" "$work/layout.txt")"
        draw+="rectangle $((x0 * s)),$((y0 * s)) $((x1 * s - 1)),$((y1 * s - 1)) "
    done
    read -r x0 y0 x1 y1 <<<"$(rect_of 'class="HHTaskBar"' "$work/layout.txt")"
    draw+="rectangle $((x1 * s / 2)),$((y0 * s)) $((x1 * s - 1)),$((y1 * s - 1))"
    convert "$in" -fill black -draw "$draw" "$out"
}

# 1. The picture at the window's scale, a click on Threads, the close request.
if start_windowed shown; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window "$window" "$work/before.png" 2>"$work/import.log"
    masked "$work/before.png" "$work/before-masked.png" "$scale"
    # A press and a release at the button's middle, in window coordinates.
    xdotool mousemove --window "$window" $(((tx0 + tx1) * scale / 2)) $(((ty0 + ty1) * scale / 2)) \
        mousedown 1 sleep 0.1 mouseup 1
    # Until a window the size of Thread Times has come up (a busy machine
    # may take a while), then a moment for its painting to finish.
    for _ in $(seq 40); do
        sleep 0.5
        import -window "$window" "$work/now.png" 2>>"$work/import.log" || continue
        masked "$work/now.png" "$work/now-masked.png" "$scale"
        changed=$(compare -metric AE "$work/before-masked.png" "$work/now-masked.png" null: 2>&1)
        [ "${changed%%.*}" -gt 20000 ] 2>/dev/null && break
    done
    sleep 1
    import -window "$window" "$work/x-screen.png" 2>>"$work/import.log" || fail "import could not read the window"
    close_request "$window" || fail "the close request was not sent"
    await_exit
    [ "$code" -eq 0 ] || { fail "after the close request the monitor exited $code"; cat "$work/shown.err" >&2; }
    grep -q 'class="Dialog" text="Thread Times"' "$work/shown.txt" ||
        { fail "Thread Times did not open on the click"; cat "$work/shown.txt" >&2; }
    if [ -s "$work/shown.png" ] && [ -s "$work/x-screen.png" ]; then
        read -r sw sh <<<"$(identify -format '%w %h' "$work/shown.png")"
        [ "${WIDTH:-0}x${HEIGHT:-0}" = "$((sw * scale))x$((sh * scale))" ] ||
            fail "the window is ${WIDTH:-?}x${HEIGHT:-?}, the device's screen ${sw}x${sh} at scale $scale"
        convert "$work/shown.png" -scale "$((scale * 100))%" "$work/expected.png"
        masked "$work/expected.png" "$work/expected-masked.png" "$scale"
        masked "$work/x-screen.png" "$work/x-screen-masked.png" "$scale"
        differing=$(compare -metric AE "$work/expected-masked.png" "$work/x-screen-masked.png" null: 2>&1)
        [ "$differing" = 0 ] || fail "the window differs from the device's screen at scale $scale: $differing pixels"
        # PERFMON_KEEP_WINDOW_SHOTS=DIR keeps both pictures for a look.
        [ -n "${PERFMON_KEEP_WINDOW_SHOTS:-}" ] &&
            cp "$work/expected.png" "$work/x-screen.png" "$PERFMON_KEEP_WINDOW_SHOTS/"
    else
        fail "no screenshot from the device or from the X screen"
    fi
fi

# 2. The dialog's close box, pressed and held a moment as a person does.
if start_windowed closebox; then
    # The close box sits at the right of the caption bar: 16 by 14 pixels,
    # 2 pixels in from the caption's end, the caption 3 pixels inside the frame.
    bx=$(((dx1 - 3 - 2 - 8) * scale))
    by=$(((dy0 + 3 + 9) * scale))
    xdotool mousemove --window "$window" "$bx" "$by" mousedown 1
    sleep 0.3
    xdotool mouseup 1
    await_exit
    [ "$code" -eq 0 ] || { fail "after a held press on the close box the monitor exited $code"; \
        cat "$work/closebox.err" >&2; }
fi

[ $failures -eq 0 ] || exit 1
echo "host window: all passed"
