#!/usr/bin/env bash
# Builds everything and runs every test: first the optimised build, then the
# Windows build (cross-compiled with mingw-w64, its tests run under wine), then
# the same tests as the first under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/test.sh           all three builds
#   scripts/test.sh --quick   the optimised build only
# The Windows build is skipped, and said so, only where mingw-w64 or wine cannot
# be installed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

presets=(default windows asan)
[ "${1:-}" = "--quick" ] && presets=(default)

windows_tools_ready() {
    command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null
}

for preset in "${presets[@]}"; do
    if [ "$preset" = windows ]; then
        windows_tools_ready || scripts/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 || true
        if ! windows_tools_ready; then
            echo "== windows: SKIPPED (mingw-w64 or wine could not be installed)"
            continue
        fi
    fi
    echo "== $preset: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j 2
    echo "== $preset: test"
    ctest --preset "$preset"
done
