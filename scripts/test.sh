#!/usr/bin/env bash
# Builds everything and runs every test: first the optimised build, then the
# Windows build (cross-compiled with mingw-w64, its tests run under wine), then
# the build with AddressSanitizer and UndefinedBehaviorSanitizer, which runs the
# unit, component and most end-to-end tests again (the long real-time tests, the
# live programs, the fuzz programs and the soak run once, in the first).
# Every test passes the first time or the run fails.
#   scripts/test.sh           all three builds
#   scripts/test.sh --quick   the optimised build only
# The Windows build is skipped, and said so, only where mingw-w64 or wine cannot
# be installed.
#
# The tests mostly wait on real time (viewers, browsers, engines, timers): while
# one build's tests run, the next build compiles beside them at the lowest
# priority, so it takes only the time the tests leave idle.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

presets=(default windows asan)
[ "${1:-}" = "--quick" ] && presets=(default)

windows_tools_ready() {
    command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null
}
if [[ " ${presets[*]} " == *" windows "* ]]; then
    windows_tools_ready || scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 || true
    if ! windows_tools_ready; then
        echo "== windows: SKIPPED (mingw-w64 or wine could not be installed)"
        presets=("${presets[@]/windows/}")
        presets=(${presets[@]})
    fi
fi

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j 2
}

# Starts the build of preset $1 in the background, its output in build/$1.log.
start_build() {
    mkdir -p build
    echo "== $1: configure and build (beside the tests, output in build/$1.log)"
    setsid nice -n 19 bash -c "$(declare -f build); build $1" >"build/$1.log" 2>&1 &
    background=$!
}

# Waits for the background build of preset $1; shows its end, and stops the
# run when it failed.
finish_build() {
    if ! wait "$background"; then
        tail -n 60 "build/$1.log"
        echo "== $1: the build FAILED"
        exit 1
    fi
    echo "== $1: built ($(grep -c '^\[' "build/$1.log" || true) steps)"
}

echo "== ${presets[0]}: configure and build"
build "${presets[0]}"
for i in "${!presets[@]}"; do
    preset=${presets[$i]}
    next=${presets[$((i + 1))]:-}
    if [ -n "$next" ]; then start_build "$next"; fi
    echo "== $preset: test"
    status=0
    ctest --preset "$preset" || status=$?
    if [ "$status" -ne 0 ]; then
        if [ -n "$next" ]; then kill -- "-$background" 2>/dev/null || true; fi
        exit "$status"
    fi
    if [ -n "$next" ]; then finish_build "$next"; fi
done
