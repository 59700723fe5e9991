#!/usr/bin/env bash
# Event page end-to-end test: three servers each follow a recorded XBoard game
# replayed into their log, and headless Chromium shows all three on the event
# page of the first, which connects to the other two across origins
# (WEBEVENTFEEDS=). web_event.mjs drives the replays, stops the second server
# mid-game and starts it again, and checks every board against its game.
#
# Usage: web_event_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
# Skipped (exit status 77) without chromium, node and npm, or when the npm
# packages cannot be installed.
# LANTREL_SCREENSHOT=PATH also saves a picture of the event grid once every
# game has ended (docs/web-event.png is made that way).
set -u

SERVER_BIN=$1
SOURCE_DIR=$3
REPLAY_BIN=$4
CHROMIUM=${CHROMIUM:-/usr/bin/chromium}
FIXTURES=$SOURCE_DIR/tests/fixtures/xboard
GAMES=(sf_sf_draw phalanx_sf sf_fairymax)  # the second one's server is restarted

skip() {
    echo "SKIPPED: $*"
    exit 77
}
# puppeteer-core and chess.js, installed once per lock file outside the source tree.
. "$SOURCE_DIR/tests/integration/npm_packages.sh"
need_chromium_and_node

WORK=$(mktemp -d /tmp/lantrel-event-XXXXXX)
cleanup() {
    # Only the processes this test started: the servers and the replays, whose
    # numbers are in pids (web_event.mjs adds those it starts).
    while read -r pid; do
        kill "$pid" 2>/dev/null
    done < "$WORK/pids"
    sleep 0.2
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
: > "$WORK/pids"

install_npm_packages "$SOURCE_DIR" "$WORK"

# The first server's page folder: the page with an event.json beside it.
mkdir "$WORK/page"
cp -r "$SOURCE_DIR/web/." "$WORK/page/"
web_ports=()
for i in 0 1 2; do
    web_ports[i]=$(free_port SOCK_STREAM)
done
# The title and names carry HTML, and a fourth board has a feed that is no
# feed's address; the picture for the documentation has plain ones only.
python3 - "$WORK/page/event.json" "${LANTREL_SCREENSHOT:+plain}" "${GAMES[@]}" "${web_ports[@]}" <<'PY'
import json, sys
path, plain, games, ports = sys.argv[1], sys.argv[2], sys.argv[3:6], sys.argv[6:9]
boards = [{"name": f"Board {i + 1}" + ("" if plain else f" <i>{game}</i>"),
           "feed": f"ws://127.0.0.1:{port}/feed"} for i, (game, port) in enumerate(zip(games, ports))]
if not plain:
    boards.append({"name": "Board 4", "feed": "javascript:alert(1)"})
title = "Club championship, round 3" if plain else "Lantrel test event <b>round 1</b>"
json.dump({"title": title, "boards": boards, "more": "fields are left alone"}, open(path, "w"), indent=1)
PY

for i in 0 1 2; do
    dir=$WORK/server$i
    mkdir "$dir"
    # The log up to the first "new" is there before the server starts; the rest is replayed.
    primer_lines=$(grep -n -m1 ' : new' "$FIXTURES/${GAMES[i]}.debug" | cut -d: -f1)
    head -n "$primer_lines" "$FIXTURES/${GAMES[i]}.debug" > "$dir/gui.debug"
    tail -n +"$((primer_lines + 1))" "$FIXTURES/${GAMES[i]}.debug" > "$dir/rest.debug"
    root=$SOURCE_DIR/web
    feeds=""
    if [ "$i" = 0 ]; then
        root=$WORK/page
        feeds="WEBEVENTFEEDS=ws://127.0.0.1:${web_ports[1]}, ws://127.0.0.1:${web_ports[2]} not-an-origin"
    fi
    cat > "$dir/server.ini" <<INI
PATH=gui.debug
PORT=$(free_port SOCK_DGRAM)
BIND=127.0.0.1
WEBPORT=${web_ports[i]}
WEBBIND=127.0.0.1
WEBROOT=$root
SITE=Event board $i
DELAY=20
DELAYAFTERMOVE=0
DELAYAFTERGAME=0
$feeds
INI
    "$SERVER_BIN" --headless --dir "$dir" > "$dir/server.out" 2>&1 &
    echo $! >> "$WORK/pids"
done

status=0
CHROMIUM=$CHROMIUM timeout 300 node "$SOURCE_DIR/tests/integration/web_event.mjs" \
    --npm "$NPM_DIR" --work "$WORK" --server "$SERVER_BIN" --replay "$REPLAY_BIN" \
    --fixtures "$FIXTURES" --games "${GAMES[*]}" --ports "${web_ports[*]}" || status=1
grep -q 'WEBEVENTFEEDS= leaves out "not-an-origin"' "$WORK/server0/server.log" || {
    echo "FAILED: server.log names the word of WEBEVENTFEEDS= that is no origin"; status=1; }
if [ $status != 0 ]; then
    for i in 0 1 2; do
        echo "--- server $i: server.out"; tail -5 "$WORK/server$i/server.out"
        echo "--- server $i: server.log (end)"; tail -15 "$WORK/server$i/server.log"
    done
    exit 1
fi
echo "PASSED"
