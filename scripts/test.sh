#!/usr/bin/env bash
# Builds everything and runs every test: first the optimised build, then the
# same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/test.sh           both builds
#   scripts/test.sh --quick   the optimised build only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

presets=(default asan)
[ "${1:-}" = "--quick" ] && presets=(default)

for preset in "${presets[@]}"; do
    echo "== $preset: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j 2
    echo "== $preset: test"
    ctest --preset "$preset"
done
