#!/bin/bash
# The emulator's own window on Xvfb: its picture against the device's
# screenshot, a real click on Threads, a window manager's close request and
# a held press on the close box. Arguments: <source dir> <binary dir>.
source "$1/tests/support/host_script.sh" "$2"
source "$1/tests/support/xvfb.sh"
# The window shows every device pixel as a square of this many screen pixels.
scale=2
XVFB_PID=""
monitor=""
cleanup() {
    [ -n "$monitor" ] && kill -KILL "$monitor" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

for tool in Xvfb xdotool import convert compare python3; do
    command -v $tool >/dev/null || { echo "FAIL: $tool is missing (bash scripts/setup.sh installs it)" >&2; exit 1; }
done
start_xvfb "$work" 800x720x24 || exit 1
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

# What a window manager sends when its close button is pressed:
# WM_PROTOCOLS with WM_DELETE_WINDOW, to the window itself.
close_request() {
    python3 - "$1" <<'EOF'
import ctypes as c, sys
x = c.CDLL("libX11.so.6")
x.XOpenDisplay.restype = c.c_void_p
x.XInternAtom.restype = c.c_ulong
x.XInternAtom.argtypes = [c.c_void_p, c.c_char_p, c.c_int]
x.XSendEvent.argtypes = [c.c_void_p, c.c_ulong, c.c_int, c.c_long, c.c_void_p]
x.XFlush.argtypes = x.XCloseDisplay.argtypes = [c.c_void_p]
display = x.XOpenDisplay(None)
if not display:
    sys.exit("no display")
# An XClientMessageEvent on a 64-bit machine, where each field takes a long:
# type, serial, send_event, display, window, message_type, format, data[5].
event = (c.c_long * 24)()
event[0], event[4], event[6] = 33, int(sys.argv[1]), 32  # ClientMessage, the window, format
event[5] = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event[7] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)  # data[1] stays 0: CurrentTime
sent = x.XSendEvent(display, event[4], 0, 0, event)
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
    stop_within "$monitor" 20 "the close request"; monitor=""
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
    stop_within "$monitor" 20 "a held press on the close box"; monitor=""
    [ "$code" -eq 0 ] || { fail "after a held press on the close box the monitor exited $code"; \
        cat "$work/closebox.err" >&2; }
fi

finish "host window"
