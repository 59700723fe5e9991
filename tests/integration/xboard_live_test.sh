#!/usr/bin/env bash
# Live test with a real XBoard: XBoard (headless, under Xvfb) plays one short
# engine game while the server follows its growing debug log and a viewer on
# loopback collects what the server broadcasts. At the end the viewer's game must
# be the game XBoard saved: every move, every position, the players, the result,
# and the server must have found every move.
#
# Usage: xboard_live_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR
# Installs xboard, xvfb, stockfish, polyglot, fairymax and pgn-extract with
# apt-get when they are missing and it runs as root; otherwise it is skipped
# (exit status 77).
set -u

SERVER_BIN=$1
VIEWER_BIN=$2
SOURCE_DIR=$3
GAMES=/usr/games
PACKAGES="xboard xvfb stockfish polyglot fairymax pgn-extract"
GAME_SECONDS=180    # one game at 10 seconds per side takes well under a minute

missing() {
    for tool in xvfb-run $GAMES/xboard $GAMES/stockfish $GAMES/fairymax $GAMES/pgn-extract; do
        command -v "$tool" >/dev/null 2>&1 || [ -x "$tool" ] || return 0
    done
    command -v polyglot >/dev/null 2>&1 || [ -x $GAMES/polyglot ] || return 0
    return 1
}

if missing; then
    if [ "$(id -u)" != 0 ]; then
        echo "SKIPPED: needs $PACKAGES (run as root to install them)"
        exit 77
    fi
    echo "installing $PACKAGES"
    export DEBIAN_FRONTEND=noninteractive
    if ! timeout 300 apt-get install -y $PACKAGES >/dev/null 2>&1; then
        timeout 300 apt-get update >/dev/null 2>&1
        timeout 300 apt-get install -y $PACKAGES >/dev/null 2>&1
    fi
    if missing; then
        echo "SKIPPED: could not install $PACKAGES"
        exit 77
    fi
fi

WORK=$(mktemp -d /tmp/lantrel-live-XXXXXX)
SERVER_PID=""
VIEWER_PID=""
cleanup() {
    # Only the processes this script started.
    [ -n "$VIEWER_PID" ] && kill "$VIEWER_PID" 2>/dev/null
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null
    wait 2>/dev/null
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

PORT=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$WORK/server.ini" <<EOF
PORT=$PORT
BIND=127.0.0.1
PATH=gui.debug
SITE=Live XBoard
DELAY=20
DELAYAFTERMOVE=0
DELAYAFTERGAME=0
EOF

# The server first: it waits for the log that XBoard is about to create.
"$SERVER_BIN" --headless --dir "$WORK" > "$WORK/server.out" 2>&1 &
SERVER_PID=$!
for _ in $(seq 100); do
    grep -q "Delay after game=" "$WORK/server.log" 2>/dev/null && break
    sleep 0.1
done
"$VIEWER_BIN" --raw --port "$PORT" --name Tester --seconds $((GAME_SECONDS + 60)) \
    < /dev/null > "$WORK/viewer.txt" 2>&1 &
VIEWER_PID=$!
for _ in $(seq 100); do
    grep -q "LOGON SUCCESSFUL" "$WORK/viewer.txt" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q "LOGON SUCCESSFUL" "$WORK/viewer.txt"; then
    echo "FAILED: the viewer could not log on"; cat "$WORK/server.out" "$WORK/viewer.txt"; exit 1
fi

# One game, stockfish (UCI, through polyglot) against fairymax, ending with a result.
(
    cd "$WORK" || exit 1
    HOME="$WORK" PATH="$PATH:$GAMES" timeout $GAME_SECONDS xvfb-run -a $GAMES/xboard \
        -fcp stockfish -fUCI -scp fairymax -mg 1 -tc 0:10 \
        -debug -nameOfDebugFile "$WORK/gui.debug" -saveGameFile "$WORK/game.pgn" \
        -adjudicateDrawMoves 80 -adjudicateLossThreshold -700 \
        -saveSettingsOnExit false -popupExitMessage false -popupMoveErrors false \
        -soundProgram "" > "$WORK/xboard.out" 2>&1
)
if [ ! -s "$WORK/game.pgn" ]; then
    echo "FAILED: XBoard saved no game"; tail -20 "$WORK/xboard.out"; exit 1
fi

# The server reads the end of the log within a pass or two; the result is the last broadcast.
for _ in $(seq 100); do
    grep -q "result " "$WORK/viewer.txt" && break
    sleep 0.1
done
sleep 1
kill "$VIEWER_PID" 2>/dev/null; wait "$VIEWER_PID" 2>/dev/null; VIEWER_PID=""
kill "$SERVER_PID" 2>/dev/null; wait "$SERVER_PID" 2>/dev/null; SERVER_PID=""

python3 "$SOURCE_DIR/tools/record/record_xboard.py" --expect "$WORK/game.pgn" "$WORK/game.expected" || {
    echo "FAILED: cannot read the saved PGN"; exit 1; }
status=0
python3 "$SOURCE_DIR/tests/integration/compare_viewer_game.py" "$WORK/viewer.txt" "$WORK/game.expected" || status=1
errors=$(grep -c "Cannot find the following move" "$WORK/server.log")
if [ "$errors" != 0 ]; then
    echo "FAILED: $errors move error(s) in server.log"; status=1
fi
if [ $status != 0 ]; then
    echo "--- PGN"; cat "$WORK/game.pgn"
    echo "--- server.log (end)"; tail -30 "$WORK/server.log"
fi
[ $status = 0 ] && echo "PASSED"
exit $status
