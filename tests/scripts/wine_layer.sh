#!/usr/bin/env bash
# The platform layer under Wine (win32_tests.exe), and the probe whose
# findings (build/windows/wine-probe.txt) the emulated device must match.
# Usage: wine_layer.sh SOURCE_DIR BINARY_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../win32/wine_lib.sh"
wine_begin "$1" "$2" layer

: >"$WORK/win32_tests.txt"
check "layer tests" wt -o "$(winpath "$WORK/win32_tests.txt")" run "$(winpath "$WINDOWS_DIR/win32_tests.exe")"
cat "$WORK/win32_tests.txt"

if [ -f "$WINDOWS_DIR/platformprobe.exe" ]; then
  probe="$WINDOWS_DIR/wine-probe.txt"
  rm -f "$probe"
  check "platform probe" wt run "$(winpath "$WINDOWS_DIR/platformprobe.exe")" \
    "$(winpath "$WINDOWS_DIR/perfmon.exe")" "$(winpath "$probe")"
  check "probe findings written" test -s "$probe"
  [ -s "$probe" ] && cat "$probe"
  check "the largest figures fit their field" grep -q '^agree.IDD_MAIN.widestFiguresFit = yes$' "$probe"
  agreement() {
    [ -x "$2/perfmon_tests" ] || { echo "$2/perfmon_tests is not built"; return 1; }
    PERFMON_WINE_PROBE="$probe" "$2/perfmon_tests" --gtest_filter='ProbeAgreement.*' >"$WORK/agreement.txt" 2>&1
    local rc=$?
    grep -q '\[  PASSED  \] 1 test' "$WORK/agreement.txt" || rc=1
    [ $rc -eq 0 ] || cat "$WORK/agreement.txt"
    return $rc
  }
  check "the emulated device answers as Wine did" agreement "$1" "$2"
fi

wine_end
