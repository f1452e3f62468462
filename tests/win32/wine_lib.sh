# Shared steps of the Wine runs (sourced by tests/scripts/wine_*.sh).
#
# wine_begin SOURCE_DIR BINARY_DIR NAME: finds the windows build, takes the
# lock that keeps Wine runs one at a time, starts Xvfb, makes or reuses the
# prefix build/windows/wineprefix and starts the 240 by 320 virtual desktop
# "perfmon" with Wine's taskbar; everything started is stopped on exit. Then
# wt (wintool on that desktop), winpath (Z:\... of a Unix path), shot FILE,
# check NAME CMD..., wait_within PID SECONDS, and wine_end (the tally).
#
# Without a windows build or Wine the run is skipped (exit 0), unless
# PERFMON_REQUIRE_WINE=1 (set by scripts/test.sh) makes that a failure.

source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"

WINE_DESKTOP=perfmon
WINE_DESKTOP_SIZE=240x320

wine_skip() {
  [ "${PERFMON_REQUIRE_WINE:-0}" = 1 ] && { echo "FAIL: $1" >&2; exit 1; }
  echo "SKIP: $1"
  exit 0
}

# The prefix is made whole in one guarded step, under the lock: booted,
# the desktop's registry key written, Wine's fonts in place, the wineserver
# finished with it, every part checked, and only then the stamp written. A
# prefix without the stamp (an interrupted run, another Wine version) is
# thrown away and made again, so no run depends on what an earlier one left.
WINE_PREFIX_STAMP=perfmon-prefix-ready

# The prefix's parts, checked one by one; prints what is missing.
wine_prefix_whole() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" font file
  for file in system.reg user.reg; do
    [ -f "$WINEPREFIX/$file" ] || { echo "no $file"; return 1; }
  done
  # The desktop's own taskbar, with its notification area, like the device's.
  grep -qF "[Software\\\\Wine\\\\Explorer\\\\Desktops\\\\$WINE_DESKTOP]" "$WINEPREFIX/user.reg" &&
    grep -A3 -F "[Software\\\\Wine\\\\Explorer\\\\Desktops\\\\$WINE_DESKTOP]" "$WINEPREFIX/user.reg" |
    grep -qi '"EnableShell"=dword:00000001' || { echo "no EnableShell for the $WINE_DESKTOP desktop"; return 1; }
  for font in marlett.ttf ms_sans_serif.ttf tahoma.ttf; do
    [ ! -f "/usr/share/wine/fonts/$font" ] || [ -s "$fonts/$font" ] || { echo "no $font in the prefix"; return 1; }
  done
  return 0
}

wine_prefix() {
  local stamp="$WINEPREFIX/$WINE_PREFIX_STAMP" version
  version="$(wine64 --version 2>/dev/null)"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && wine_prefix_whole >/dev/null; then
    return 0
  fi
  if [ -e "$WINEPREFIX" ]; then
    echo "the Wine prefix $WINEPREFIX is not whole (made by: $(cat "$stamp" 2>/dev/null || echo nothing that finished);" \
      "$(wine_prefix_whole || true)); making it again"
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  echo "making a fresh Wine prefix in $WINEPREFIX"
  local start=$SECONDS log="$WORK/wineboot.log" fonts="$WINEPREFIX/drive_c/windows/Fonts" missing
  # Debian's wine64 package has no wineboot command: the loader runs it.
  timeout 300 wine64 wineboot --init >"$log" 2>&1
  echo "wineboot: exit code $?" >>"$log"
  timeout 60 wine64 reg add "HKCU\\Software\\Wine\\Explorer\\Desktops\\$WINE_DESKTOP" \
    /v EnableShell /t REG_DWORD /d 1 /f >>"$log" 2>&1
  # Without a 32-bit Wine, wineboot stops before it puts Wine's own fonts
  # into the prefix: the caption buttons (Marlett) and the system font
  # then fall back to letters. Put them where it would have.
  [ -d /usr/share/wine/fonts ] && mkdir -p "$fonts" && cp -n /usr/share/wine/fonts/* "$fonts/"
  # The registry reaches its files only when the wineserver lets go.
  timeout 120 wineserver -w
  if ! missing="$(wine_prefix_whole)"; then
    echo "FAIL: the Wine prefix is not whole after $((SECONDS - start)) s: $missing"
    cat "$log"
    return 1
  fi
  printf '%s\n' "$version" >"$stamp"
  echo "prefix ready after $((SECONDS - start)) s"
}

wine_begin() {
  SOURCE_DIR="$(cd "$1" && pwd)"
  WINDOWS_DIR="${PERFMON_WINDOWS_DIR:-$SOURCE_DIR/build/windows}"
  RUN_NAME="$3"
  PASSED=0 FAILED=0 FAILED_NAMES=()

  export PATH="/usr/lib/wine:$PATH"
  command -v wine64 >/dev/null || wine_skip "wine64 is not installed (bash scripts/setup.sh installs it)"
  command -v Xvfb >/dev/null || wine_skip "Xvfb is not installed (bash scripts/setup.sh installs it)"
  for file in perfmon.exe toolhelp.dll wintool.exe; do
    [ -f "$WINDOWS_DIR/$file" ] ||
      wine_skip "$WINDOWS_DIR/$file is missing: build it with cmake --preset windows && cmake --build build/windows"
  done

  WORK="$WINDOWS_DIR/wine-$RUN_NAME"
  rm -rf "$WORK" && mkdir -p "$WORK"

  # One Wine run at a time: they share the prefix and its wineserver.
  exec 8>"$WINDOWS_DIR/wine.lock"
  flock 8

  export WINEPREFIX="$WINDOWS_DIR/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset WINELOADER WINESERVER

  XVFB_PID="" EXPLORER_PID=""
  trap wine_stop EXIT
  start_xvfb "$WORK" 640x480x24 || exit 1
  wine_prefix || exit 1

  wine64 explorer "/desktop=$WINE_DESKTOP,$WINE_DESKTOP_SIZE" >"$WORK/explorer.log" 2>&1 &
  EXPLORER_PID=$!
  # A first start in a fresh prefix, on a busy machine, can take a while.
  local started=0
  for _ in $(seq 300); do
    wt find Shell_TrayWnd - >/dev/null 2>&1 && { started=1; break; }
    kill -0 "$EXPLORER_PID" 2>/dev/null || break
    sleep 0.2
  done
  [ "$started" = 1 ] && wt taskbar >"$WORK/taskbar.txt" 2>&1 ||
    { echo "FAIL: the virtual desktop did not start"; cat "$WORK/explorer.log"; exit 1; }
}

wine_stop() {
  # Only what this run started: the prefix's wineserver and its processes,
  # then this run's X server.
  [ -n "${WINEPREFIX:-}" ] && timeout 30 wineserver -k >/dev/null 2>&1
  [ -n "$EXPLORER_PID" ] && wait "$EXPLORER_PID" 2>/dev/null
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  return 0
}

# wait_within PID SECONDS: the exit code of PID, or 124 when it is still
# running after SECONDS (it is left to wine_stop).
wait_within() {
  for _ in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$1" 2>/dev/null; then
    echo "still running $2 s later"
    return 124
  fi
  wait "$1"
}

wt() {
  timeout 120 wine64 "$WINDOWS_DIR/wintool.exe" -d "$WINE_DESKTOP" "$@"
}

winpath() {
  local path="$(readlink -f "$1")"
  printf 'Z:%s' "${path//\//\\}"
}

shot() {
  # The virtual desktop sits at the top left of the X screen.
  import -display "$DISPLAY" -window root -crop "$WINE_DESKTOP_SIZE+0+0" +repage "$1" 2>"$WORK/import.log"
}

check() {
  local name="$1"
  shift
  if "$@"; then
    echo "ok   $name"
    PASSED=$((PASSED + 1))
  else
    echo "FAIL $name"
    FAILED=$((FAILED + 1))
    FAILED_NAMES+=("$name")
  fi
}

wine_end() {
  echo "$RUN_NAME: $PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ] || { printf '  failed: %s\n' "${FAILED_NAMES[@]}"; exit 1; }
  exit 0
}
