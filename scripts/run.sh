#!/usr/bin/env bash
# Builds the host build and starts the monitor in the emulated device.
# Arguments go to the emulator (bash scripts/run.sh --help lists them).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/setup.sh
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"
cmake --preset host >/dev/null
cmake --build build/host --target perfmon -j"$jobs"
exec build/host/perfmon "$@"
