#!/usr/bin/env bash
# Event page end-to-end test (web_event.mjs): three servers each follow a
# recorded XBoard game replayed into their log, and headless Chromium shows all
# three on the event page of the first, which connects to the other two across
# origins; the second server is stopped mid-game and started again.
#
# Usage: web_event_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
# Skipped (exit status 77) without chromium, node and npm, or when the npm
# packages cannot be installed.
# LANTREL_SCREENSHOT=PATH also saves a picture of the event grid once every
# game has ended, with plain names (docs/web-event.png is made that way).
set -u

SOURCE_DIR=$3
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}

. "$SOURCE_DIR/tests/integration/npm_packages.sh"
need_chromium_and_node

WORK=$(mktemp -d /tmp/lantrel-event-XXXXXX)
: > "$WORK/pids"
cleanup() {
    # Only the servers and replays the test started (web_event.mjs lists them).
    while read -r pid; do kill "$pid" 2>/dev/null; done < "$WORK/pids"
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
install_npm_packages "$SOURCE_DIR" "$WORK"

ports=$(for _ in 1 2 3; do free_port SOCK_STREAM; free_port SOCK_DGRAM; done)
if CHROMIUM=$CHROMIUM timeout 300 node "$SOURCE_DIR/tests/integration/web_event.mjs" --npm "$NPM_DIR" \
    --work "$WORK" --server "$1" --replay "$4" --source "$SOURCE_DIR" --ports "$(echo $ports)"; then
    echo "PASSED"
else
    for i in 0 1 2; do
        echo "--- server $i: server.out, server.log (end)"
        tail -5 "$WORK/server$i/server.out"; tail -10 "$WORK/server$i/server.log"
    done
    exit 1
fi
