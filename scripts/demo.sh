#!/usr/bin/env bash
# Builds the server and starts it on a built-in demo: a sample server.ini and a
# recorded GUI log in a fresh temporary directory. Ctrl-C ends it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target lantrel-server >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/lantrel-demo-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cp demo/server.ini "$work/server.ini"
cp demo/sample-debug.log "$work/gui-debug.log"
echo "Demo directory: $work"
"$root/build/default/lantrel-server" --dir "$work"
echo "server.log of the demo:"
cat "$work/server.log"
