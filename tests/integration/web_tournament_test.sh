#!/usr/bin/env bash
# The page through a whole tournament: headless Chromium follows the feed while
# a recorded XBoard round robin (tourney_time_loss: three engines, a move
# refused after a flag fell, games won on time) is replayed, and
# web_tournament.mjs checks that every game the page showed, its number, its
# players and its result, is the game XBoard saved.
#
# Usage: web_tournament_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
# Skipped (exit status 77) without chromium, node and npm, or when the npm
# packages cannot be installed.
set -u

SERVER_BIN=$1
SOURCE_DIR=$3
REPLAY_BIN=$4
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
RECORDED=$SOURCE_DIR/tests/fixtures/xboard/tourney_time_loss

skip() {
    echo "SKIPPED: $*"
    exit 77
}
. "$SOURCE_DIR/tests/integration/npm_packages.sh"
need_chromium_and_node

WORK=$(mktemp -d /tmp/lantrel-tournament-XXXXXX)
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
INI
"$SERVER_BIN" --headless --dir "$WORK" > "$WORK/server.out" 2>&1 &
SERVER_PID=$!

CHROMIUM=$CHROMIUM timeout 240 node "$SOURCE_DIR/tests/integration/web_tournament.mjs" \
    --npm "$NPM_DIR" --url "http://127.0.0.1:$WEB_PORT/" --work "$WORK" \
    --replay "$REPLAY_BIN" --saved "$RECORDED.pgn" || {
    echo "--- server.log (end)"; tail -30 "$WORK/server.log"; exit 1; }
echo "PASSED"
