#!/usr/bin/env bash
# lantrel-server.exe under wine, headless, follows a growing GUI log while the
# Linux viewer on loopback collects what it broadcasts: the viewer must see
# exactly the games the GUI saved, and the server must find every move.
#   xboard_log       a recorded XBoard log, appended by the Linux replay tool
#   arena_log_held   an Arena log (CR LF line ends, server.ini with CR LF too),
#                    appended by lantrel-replay.exe under wine, which holds the
#                    log open for writing the whole game with read, write and
#                    delete sharing, as the GUI does: a server that locked the
#                    writer out, or was locked out itself, sees no game.
#
# Usage: wine_server_test.sh WINE SERVER_EXE REPLAY_EXE HOST_BUILD_DIR SOURCE_DIR
# HOST_BUILD_DIR holds the Linux lantrel-viewer and lantrel-replay; without them
# the test is skipped (exit status 77).
set -u

WINE=$1
SERVER_EXE=$2
REPLAY_EXE=$3
VIEWER=$4/lantrel-viewer
HOST_REPLAY=$4/lantrel-replay
SOURCE_DIR=$5
FIXTURES=$SOURCE_DIR/tests/fixtures
SPEED=4

for tool in "$VIEWER" "$HOST_REPLAY"; do
    [ -x "$tool" ] || { echo "SKIPPED: needs the Linux build's $tool"; exit 77; }
done

WORK=$(mktemp -d /tmp/lantrel-wine-XXXXXX)
STARTED=()
stop_started() {
    # Only the processes this script started.
    for pid in "${STARTED[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${STARTED[@]}"; do wait "$pid" 2>/dev/null; done
    STARTED=()
}
cleanup() {
    stop_started
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# run_case NAME LINE_END WRITER RECORDED_LOG EXPECTED: a fresh server.exe in
# $WORK/NAME follows gui.log while WRITER (host or wine) plays RECORDED_LOG
# into it; the viewer's games must be those of EXPECTED.
run_case() {
    local name=$1 line_end=$2 writer=$3 recorded=$4 expected=$5
    local dir="$WORK/$name"
    mkdir -p "$dir"
    local port games
    port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    games=$(grep -c '^game ' "$expected")
    printf "PORT=$port${line_end}BIND=127.0.0.1${line_end}PATH=gui.log${line_end}SITE=Wine${line_end}DELAY=20${line_end}DELAYAFTERMOVE=0${line_end}DELAYAFTERGAME=0${line_end}" \
        > "$dir/server.ini"

    # The server first: it waits for the log that the writer is about to create.
    "$WINE" "$SERVER_EXE" --headless --dir "Z:$dir" > "$dir/server.out" 2>&1 &
    STARTED+=($!)
    for _ in $(seq 300); do
        grep -q "Delay after game=" "$dir/server.log" 2>/dev/null && break
        sleep 0.1
    done
    "$VIEWER" --raw --port "$port" --name Tester --seconds 300 < /dev/null > "$dir/viewer.txt" 2>&1 &
    STARTED+=($!)
    for _ in $(seq 100); do
        grep -q "LOGON SUCCESSFUL" "$dir/viewer.txt" 2>/dev/null && break
        sleep 0.1
    done
    if ! grep -q "LOGON SUCCESSFUL" "$dir/viewer.txt"; then
        echo "FAILED ($name): the viewer could not log on"; cat "$dir/server.out" "$dir/viewer.txt"
        stop_started
        return 1
    fi

    local status=0
    if [ "$writer" = wine ]; then
        "$WINE" "$REPLAY_EXE" --speed $SPEED --from-start "Z:$recorded" "Z:$dir/gui.log" || status=1
    else
        "$HOST_REPLAY" --speed $SPEED --from-start "$recorded" "$dir/gui.log" || status=1
    fi
    [ $status = 0 ] || echo "FAILED ($name): the replay did not finish"
    # The server reads the end of the log within a pass or two; the result is the last broadcast.
    for _ in $(seq 100); do
        [ "$(grep -c 'result ' "$dir/viewer.txt")" -ge "$games" ] && break
        sleep 0.1
    done
    sleep 1
    stop_started

    python3 "$SOURCE_DIR/tests/integration/compare_viewer_game.py" "$dir/viewer.txt" "$expected" || status=1
    local errors
    errors=$(grep -c "Cannot find the following move" "$dir/server.log")
    if [ "$errors" != 0 ]; then
        echo "FAILED ($name): $errors move error(s) in server.log"; status=1
    fi
    if [ $status != 0 ]; then
        echo "--- server.out"; tail -20 "$dir/server.out"
        echo "--- server.log (end)"; tail -30 "$dir/server.log"
    fi
    return $status
}

status=0
run_case xboard_log '\n' host "$FIXTURES/xboard/sf_fairymax.debug" \
    "$FIXTURES/xboard/sf_fairymax.expected" || status=1
run_case arena_log_held '\r\n' wine "$FIXTURES/arena/phalanx_sf.log" \
    "$FIXTURES/xboard/phalanx_sf.expected" || status=1
[ $status = 0 ] && echo "PASSED"
exit $status
