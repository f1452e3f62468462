#!/usr/bin/env bash
# The Windows side of the platform layer under Wine: the device operations
# and the toolhelp adapter (win32_tests.exe), and the probe of what Wine
# answers where the emulated device must agree (platformprobe.exe), whose
# findings are kept in build/windows/wine-probe.txt.
# Usage: wine_layer.sh SOURCE_DIR BINARY_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../win32/wine_lib.sh"
wine_begin "$1" "$2" layer

run_logged() {
  local log="$1"
  shift
  : >"$log"
  wt -o "$(winpath "$log")" run "$@"
  local rc=$?
  cat "$log"
  return $rc
}

check "layer tests" run_logged "$WORK/win32_tests.txt" "$(winpath "$WINDOWS_DIR/win32_tests.exe")"

if [ -f "$WINDOWS_DIR/platformprobe.exe" ]; then
  probe="$WINDOWS_DIR/wine-probe.txt"
  rm -f "$probe"
  check "platform probe" wt run "$(winpath "$WINDOWS_DIR/platformprobe.exe")" \
    "$(winpath "$WINDOWS_DIR/perfmon.exe")" "$(winpath "$probe")"
  check "probe findings written" test -s "$probe"
  [ -s "$probe" ] && cat "$probe"
fi

wine_end
