# Shared by the live XBoard tests (sourced, with their three arguments): the
# tools they need, a work folder removed at the end, and run_case, which plays
# one game in XBoard (headless, under Xvfb) while a fresh server follows its
# growing debug log and a viewer on loopback collects what the server
# broadcasts. The viewer's game must be the game XBoard saved, and the server
# must have found every move.
#
# Installs xboard, xvfb, stockfish, polyglot, fairymax and pgn-extract with
# apt-get when they are missing and the test runs as root; otherwise the test
# is skipped (exit status 77). Each game is bounded by GAME_SECONDS.
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
stop_started() {
    # Only the processes this script started.
    [ -n "$VIEWER_PID" ] && kill "$VIEWER_PID" 2>/dev/null && wait "$VIEWER_PID" 2>/dev/null
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
    VIEWER_PID=""
    SERVER_PID=""
}
cleanup() {
    stop_started
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# run_case NAME XBOARD-OPTIONS...: one game with a fresh server and viewer in
# $WORK/NAME. Returns non-zero, with what went wrong, when the games differ.
run_case() {
    local name=$1
    shift
    local dir="$WORK/$name"
    mkdir -p "$dir"
    local port
    port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat > "$dir/server.ini" <<INI
PORT=$port
BIND=127.0.0.1
PATH=gui.debug
SITE=Live XBoard
DELAY=20
DELAYAFTERMOVE=0
DELAYAFTERGAME=0
INI
    # The server first: it waits for the log that XBoard is about to create.
    "$SERVER_BIN" --headless --dir "$dir" > "$dir/server.out" 2>&1 &
    SERVER_PID=$!
    for _ in $(seq 100); do
        grep -q "Delay after game=" "$dir/server.log" 2>/dev/null && break
        sleep 0.1
    done
    "$VIEWER_BIN" --raw --port "$port" --name Tester --seconds $((GAME_SECONDS + 60)) \
        < /dev/null > "$dir/viewer.txt" 2>&1 &
    VIEWER_PID=$!
    for _ in $(seq 100); do
        grep -q "LOGON SUCCESSFUL" "$dir/viewer.txt" 2>/dev/null && break
        sleep 0.1
    done
    if ! grep -q "LOGON SUCCESSFUL" "$dir/viewer.txt"; then
        echo "FAILED ($name): the viewer could not log on"; cat "$dir/server.out" "$dir/viewer.txt"
        stop_started
        return 1
    fi
    (
        cd "$dir" || exit 1
        HOME="$dir" PATH="$PATH:$GAMES" timeout $GAME_SECONDS xvfb-run -a $GAMES/xboard \
            -mg 1 -tc 0:10 "$@" \
            -debug -nameOfDebugFile "$dir/gui.debug" -saveGameFile "$dir/game.pgn" \
            -adjudicateDrawMoves 80 -adjudicateLossThreshold -700 \
            -saveSettingsOnExit false -popupExitMessage false -popupMoveErrors false \
            -soundProgram "" > "$dir/xboard.out" 2>&1
    )
    if [ ! -s "$dir/game.pgn" ]; then
        echo "FAILED ($name): XBoard saved no game"; tail -20 "$dir/xboard.out"
        stop_started
        return 1
    fi
    # The server reads the end of the log within a pass or two; the result is the last broadcast.
    for _ in $(seq 100); do
        grep -q "result " "$dir/viewer.txt" && break
        sleep 0.1
    done
    sleep 1
    stop_started

    python3 "$SOURCE_DIR/tools/record/record_xboard.py" --expect "$dir/game.pgn" "$dir/game.expected" || {
        echo "FAILED ($name): cannot read the saved PGN"; return 1; }
    local status=0
    python3 "$SOURCE_DIR/tests/integration/compare_viewer_game.py" "$dir/viewer.txt" "$dir/game.expected" || status=1
    local errors
    errors=$(grep -c "Cannot find the following move" "$dir/server.log")
    if [ "$errors" != 0 ]; then
        echo "FAILED ($name): $errors move error(s) in server.log"; status=1
    fi
    if [ $status != 0 ]; then
        echo "--- PGN"; cat "$dir/game.pgn"
        echo "--- server.log (end)"; tail -30 "$dir/server.log"
    fi
    return $status
}
