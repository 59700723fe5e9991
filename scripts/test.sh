#!/usr/bin/env bash
# Builds everything and runs every test: first the optimised build, then the
# Windows build (cross-compiled with mingw-w64, its tests run under wine), then
# clang's build with AddressSanitizer and UndefinedBehaviorSanitizer, which runs
# the unit, component and most end-to-end tests again, and the fuzz programs it
# builds beside them (the long real-time tests, the live programs and the soak
# run once, in the first).
# Every test passes the first time or the run fails.
#   scripts/test.sh           all three builds
#   scripts/test.sh --quick   the optimised build only
# The Windows build is skipped, and said so, only where mingw-w64 or wine cannot
# be installed.
#
# The tests mostly wait on real time (viewers, browsers, engines, timers): once
# the first build is done, the others compile one after the other beside its
# tests at the lowest priority, so they take only the time the tests leave idle.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(default windows asan)
[ "${1:-}" = "--quick" ] && presets=(default)

# The asan build is clang's, with the fuzz targets.
if [[ " ${presets[*]} " == *" asan "* ]]; then
    scripts/install-deps.sh clang libclang-rt-dev
else
    scripts/install-deps.sh
fi

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

# Builds the presets given, one after the other, in the background: the output
# of each in build/PRESET.log, and "ok" or "failed" in build/PRESET.status when
# it ends. A failed build ends the chain.
start_builds() {
    mkdir -p build
    for preset in "$@"; do
        rm -f "build/$preset.status"
        echo "== $preset: configure and build (beside the tests, output in build/$preset.log)"
    done
    setsid nice -n 19 bash -c "$(declare -f build)
        for preset in $*; do
            if build \$preset >build/\$preset.log 2>&1; then
                echo ok >build/\$preset.status
            else
                echo failed >build/\$preset.status
                exit 1
            fi
        done" &
    background=$!
}

# Waits for the background build of preset $1; shows its end, and stops the
# run when it failed.
finish_build() {
    while [ ! -e "build/$1.status" ] && kill -0 "$background" 2>/dev/null; do sleep 1; done
    if [ "$(cat "build/$1.status" 2>/dev/null)" != ok ]; then
        tail -n 60 "build/$1.log"
        echo "== $1: the build FAILED"
        exit 1
    fi
    echo "== $1: built ($(grep -c '^\[' "build/$1.log" || true) steps)"
}

echo "== ${presets[0]}: configure and build"
build "${presets[0]}"
background=
if [ ${#presets[@]} -gt 1 ]; then start_builds "${presets[@]:1}"; fi
stop_builds() { if [ -n "$background" ]; then kill -- "-$background" 2>/dev/null || true; fi; }
trap stop_builds EXIT
for i in "${!presets[@]}"; do
    preset=${presets[$i]}
    if [ "$i" -gt 0 ]; then finish_build "$preset"; fi
    echo "== $preset: test"
    ctest --preset "$preset"
done
