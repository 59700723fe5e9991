#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks that everything an
# operator needs (the browser page too) is in place and runs from there.
#   check_install.sh BUILD_DIR
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/lantrel-server bin/lantrel-viewer bin/lantrel-replay bin/lantrel-relay bin/gbmail; do
    [ -x "$prefix/$f" ] || { echo "missing or not executable: $f"; exit 1; }
done
for f in share/lantrel/server.ini.sample share/lantrel/lantrel-server.service \
         share/lantrel/web/index.html share/lantrel/web/app.js \
         share/lantrel/web/vendor/cm-chessboard/src/Chessboard.js share/lantrel/web/nats_follow.js \
         share/lantrel/web/vendor/nats.ws/esm/nats.js share/lantrel/nats/hub-1.conf \
         share/lantrel/nats/edge.conf share/lantrel/nats/accounts.conf share/lantrel/nats/audience.conf share/lantrel/nats/feed-imports.conf share/doc/lantrel/LICENSE \
         share/doc/lantrel/README.md share/doc/lantrel/OPERATIONS.md \
         share/doc/lantrel/PROTOCOL.md share/doc/lantrel/PERFORMANCE.md; do
    [ -s "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
"$prefix/bin/lantrel-server" --version | grep -qx "Lantrel1Server v1.72b for Winboard & Arena"
grep -q '^ExecStart=.*lantrel-server --headless' "$prefix/share/lantrel/lantrel-server.service"
grep -q '^PORT=16000$' "$prefix/share/lantrel/server.ini.sample"
echo "install layout ok"
