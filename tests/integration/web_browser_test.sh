#!/usr/bin/env bash
# Browser end-to-end test: headless Chromium opens the server's page while a
# recorded XBoard game (sf_fairymax) is replayed into the log the server
# follows. web_browser.mjs then checks what the page shows, the live PGN over
# HTTP and that names, chat lines and tournament tags holding HTML stay text,
# and web_board_checks.mjs the board's features (opening, arrows, evaluation
# bar, #ply=N, keyboard, PGN download, overlay, page weight).
#
# Usage: web_browser_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
# Skipped (exit status 77) without chromium, node and npm, or when the npm
# packages cannot be installed.
# LANTREL_SCREENSHOT=PATH also saves a picture of the page after the game, with
# the recorded names and a plain chat line (docs/web-page.png is made that way),
# and beside it web-board.png (a linked ply, with arrows), web-overlay.png and
# web-phone.png.
set -u

SERVER_BIN=$1
SOURCE_DIR=$3
REPLAY_BIN=$4
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
FIXTURES=$SOURCE_DIR/tests/fixtures/xboard

# puppeteer-core and chess.js, installed once per lock file outside the source tree.
. "$SOURCE_DIR/tests/integration/npm_packages.sh"
need_chromium_and_node

WORK=$(mktemp -d /tmp/lantrel-web-XXXXXX)
SERVER_PID=""
cleanup() {
    # Only the server this script started.
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

install_npm_packages "$SOURCE_DIR" "$WORK"

UDP_PORT=$(free_port SOCK_DGRAM)
WEB_PORT=$(free_port SOCK_STREAM)

# The engines' names carry HTML; the names come from their "myname" features.
# The picture for the documentation keeps the recorded names.
WHITE_NAME='Stockfish <img src=x onerror=window.__xss=1>'
BLACK_NAME='Fairy-Max <script>window.__xss=1</script>'
if [ -n "${LANTREL_SCREENSHOT:-}" ]; then
    WHITE_NAME='Stockfish 15.1'
    BLACK_NAME='Fairy-Max 5.0b'
fi
sed -e "s|myname=\"Stockfish 15.1\"|myname=\"$WHITE_NAME\"|" \
    -e "s|myname=\"Fairy-Max 5.0b\"|myname=\"$BLACK_NAME\"|" \
    "$FIXTURES/sf_fairymax.debug" > "$WORK/recorded.debug"
split_recorded_log "$WORK/recorded.debug" "$WORK"

# A finished tournament game whose tags carry HTML too (plain names for the picture).
cat > "$WORK/tourney.pgn" <<'PGN'
[Event "Browser test"]
[Site "lantrel"]
[Date "2026.12.09"]
[Round "1"]
[White "<svg onload=__xss=1>"]
[Black "<script>window.__xss=1</script>"]
[Result "0-1"]

1. f3 e5 2. g4 Qh4# 0-1
PGN
if [ -n "${LANTREL_SCREENSHOT:-}" ]; then
    sed -i -e 's|<svg onload=__xss=1>|Fairy-Max 5.0b|' -e 's|<script>window.__xss=1</script>|Stockfish 15.1|' \
        "$WORK/tourney.pgn"
fi

cat > "$WORK/server.ini" <<INI
PATH=gui.debug
PORT=$UDP_PORT
BIND=127.0.0.1
WEBPORT=$WEB_PORT
WEBBIND=127.0.0.1
WEBCHAT=1
WEBROOT=$SOURCE_DIR/web
SITE=Browser test
DELAY=20
DELAYAFTERMOVE=10
DELAYAFTERGAME=0
TOURNEYPGN=tourney.pgn
INI

"$SERVER_BIN" --headless --dir "$WORK" > "$WORK/server.out" 2>&1 &
SERVER_PID=$!
for _ in $(seq 100); do
    grep -q "New Game" "$WORK/server.log" 2>/dev/null && break
    sleep 0.1
done
grep -q "New Game" "$WORK/server.log" 2>/dev/null || {
    echo "FAILED: the server did not start"; cat "$WORK/server.out"; exit 1; }

status=0
CHROMIUM=$CHROMIUM timeout 240 node "$SOURCE_DIR/tests/integration/web_browser.mjs" \
    --npm "$NPM_DIR" --url "http://127.0.0.1:$WEB_PORT/" --work "$WORK" \
    --replay "$REPLAY_BIN" --saved "$FIXTURES/sf_fairymax.pgn" \
    --white "$WHITE_NAME" --black "$BLACK_NAME" \
    --source "$SOURCE_DIR" || status=1
if [ $status != 0 ]; then
    echo "--- server.out"; tail -20 "$WORK/server.out"
    echo "--- server.log (end)"; tail -30 "$WORK/server.log"
    exit 1
fi
echo "PASSED"
