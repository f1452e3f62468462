# Sourced by the measurement scripts: the optimised build without the tests
# (only the executable is measured) and the tree it was built from, read
# before any output rewrites a tracked file.
# usage: release_build NAME  (sets build and tree; the log is $build/NAME-build.log)
build=build/bench-rel
release_build() {
  local name="$1" jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"
  mkdir -p "$build/tools"
  if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPERFMON_TESTS=OFF &&
         cmake --build "$build" --target perfmon -j"$jobs"; } >"$build/$name-build.log" 2>&1; then
    cat "$build/$name-build.log" >&2
    echo "$name: the build failed" >&2
    exit 1
  fi
  tree="$(git describe --always --dirty 2>/dev/null || echo unknown)"
}
