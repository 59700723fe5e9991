#!/usr/bin/env bash
# Runs a page test: headless Chromium, driven by SCRIPT (a .mjs file of this
# folder), against the server following a recorded XBoard log, which the
# script replays into the GUI log (lantrel-replay) while the page follows it.
#
# Usage: page_run.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN RECORDED SCRIPT [ARG...]
# RECORDED names the fixture without ".debug"; the ARGs go to SCRIPT after
# --npm, --url, --work and --replay. The tournament PGN is tourney.pgn in the
# work folder, which the script may write as the GUI would. Exit status 77 (skipped) without chromium,
# node and npm, or when the npm packages cannot be installed.
set -u

SERVER_BIN=$1
SOURCE_DIR=$3
REPLAY_BIN=$4
RECORDED=$5
SCRIPT=$6
shift 6
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}

. "$SOURCE_DIR/tests/integration/npm_packages.sh"
need_chromium_and_node

WORK=$(mktemp -d /tmp/lantrel-page-XXXXXX)
SERVER_PID=""
cleanup() {
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT
install_npm_packages "$SOURCE_DIR" "$WORK"

split_recorded_log "$RECORDED.debug" "$WORK"
WEB_PORT=$(free_port SOCK_STREAM)
cat > "$WORK/server.ini" <<INI
PATH=gui.debug
PORT=$(free_port SOCK_DGRAM)
BIND=127.0.0.1
WEBPORT=$WEB_PORT
WEBBIND=127.0.0.1
WEBROOT=$SOURCE_DIR/web
DELAY=20
DELAYAFTERMOVE=0
DELAYAFTERGAME=0
TOURNEYPGN=tourney.pgn
INI
"$SERVER_BIN" --headless --dir "$WORK" > "$WORK/server.out" 2>&1 &
SERVER_PID=$!

CHROMIUM=$CHROMIUM timeout 240 node "$SOURCE_DIR/tests/integration/$SCRIPT" \
    --npm "$NPM_DIR" --url "http://127.0.0.1:$WEB_PORT/" --work "$WORK" \
    --replay "$REPLAY_BIN" "$@" || {
    echo "--- server.log (end)"; tail -30 "$WORK/server.log"; exit 1; }
echo "PASSED"
