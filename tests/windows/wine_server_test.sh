#!/usr/bin/env bash
# lantrel-server.exe under wine, headless, follows a growing GUI log while the
# Linux viewer on loopback collects what it broadcasts: the viewer must see
# exactly the games the GUI saved, and the server must find every move.
#   xboard_log       a recorded XBoard log, appended by the Linux replay tool;
#                    the web listener serves the page from web\ in the server's
#                    folder, and the game as PGN, with its result
#   arena_log_held   an Arena log (CR LF line ends, server.ini with CR LF too),
#                    appended by lantrel-replay.exe under wine, which holds the
#                    log open for writing the whole game with read, write and
#                    delete sharing, as the GUI does: a server that locked the
#                    writer out, or was locked out itself, sees no game.
#   accented_Jösé    the server's folder (given on the command line), server.ini
#                    and the log under a folder with an accented name; the
#                    log's full name in server.ini, written as UTF-8
#   drive_root       the log at the root of a drive (Q:\gui.log)
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
# Ends one started process as an operator would, with Ctrl-C (wine turns SIGINT
# into the console's Ctrl-C event), so that it closes its sockets itself;
# SIGTERM tears a wine process down with its socket operations still pending.
# A process still there after 10 s gets SIGTERM. Its exit status is left in
# STOPPED_STATUS.
stop_process() {
    kill -INT "$1" 2>/dev/null
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill "$1" 2>/dev/null
    STOPPED_STATUS=0
    wait "$1" 2>/dev/null || STOPPED_STATUS=$?
}
stop_started() {
    # Only the processes this script started.
    for pid in "${STARTED[@]}"; do stop_process "$pid"; done
    STARTED=()
}
cleanup() {
    stop_started
    if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket, sys; s=socket.socket(socket.AF_INET, getattr(socket, sys.argv[1])); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' "$1"
}

# web_check PORT RESULT: the page and the live PGN with the game's result.
web_check() {
    python3 - "$1" "$2" <<'PY'
import sys, urllib.request
base = "http://127.0.0.1:%s" % sys.argv[1]
page = urllib.request.urlopen(base + "/", timeout=10).read().decode("utf-8", "replace")
games = urllib.request.urlopen(base + "/games.pgn", timeout=10).read().decode("utf-8", "replace")
if "<html" not in page.lower():
    sys.exit("the web listener did not serve the page")
if '[Result "%s"]' % sys.argv[2] not in games:
    sys.exit("the live PGN lacks the result %s:\n%s" % (sys.argv[2], games[:2000]))

# The feed over WebSocket, framed by the server itself: the snapshot with the
# result, then a ping (sent masked, as browsers send) answered by its pong.
import json, socket
feed = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
feed.sendall(b"GET /feed HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
             b"Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
             b"Sec-WebSocket-Version: 13\r\n\r\n")
got = b""
def receive():
    global got
    more = feed.recv(65536)
    if not more:
        sys.exit("the feed ended early")
    got += more
def take(n):
    global got
    while len(got) < n:
        receive()
    part, got = got[:n], got[n:]
    return part
while b"\r\n\r\n" not in got:
    receive()
head, _, got = got.partition(b"\r\n\r\n")
if not head.startswith(b"HTTP/1.1 101"):
    sys.exit("the feed's handshake failed: %r" % head[:200])
def frame():
    first, second = take(2)
    size = second & 0x7F
    if size == 126:
        size = int.from_bytes(take(2), "big")
    elif size == 127:
        size = int.from_bytes(take(8), "big")
    return first, take(size)
opcode, snapshot = frame()
state = json.loads(snapshot)
if opcode != 0x81 or state.get("type") != "snapshot" or state.get("result") != sys.argv[2]:
    sys.exit("the feed's snapshot is not the game's end: %r" % snapshot[:300])
feed.sendall(bytes([0x89, 0x82, 0, 0, 0, 0]) + b"hi")
while True:
    opcode, payload = frame()
    if opcode == 0x8A:
        break
if payload != b"hi":
    sys.exit("the pong carried %r" % payload)
PY
}

# run_case NAME LINE_END WRITER WEB RECORDED_LOG EXPECTED [LOG WINDOWS_LOG]: a
# fresh server.exe in $WORK/NAME follows LOG (gui.log in its folder) while
# WRITER (host or wine) plays RECORDED_LOG into it; server.ini names the log
# WINDOWS_LOG (gui.log). The viewer's games must be those of EXPECTED. With
# WEB=web the web listener runs too and is checked.
run_case() {
    local name=$1 line_end=$2 writer=$3 web=$4 recorded=$5 expected=$6
    local dir="$WORK/$name"
    local log=${7:-$dir/gui.log} windows_log=${8:-gui.log}
    mkdir -p "$dir"
    local port games web_port=""
    port=$(free_port SOCK_DGRAM)
    games=$(grep -c '^game ' "$expected")
    # The log's name as an argument: its backslashes are no escapes.
    printf "PORT=$port${line_end}BIND=127.0.0.1${line_end}PATH=%s${line_end}SITE=Wine${line_end}DELAY=20${line_end}DELAYAFTERMOVE=0${line_end}DELAYAFTERGAME=0${line_end}" \
        "$windows_log" > "$dir/server.ini"
    if [ "$web" = web ]; then
        web_port=$(free_port SOCK_STREAM)
        printf "WEBPORT=$web_port${line_end}WEBBIND=127.0.0.1${line_end}" >> "$dir/server.ini"
        cp -r "$SOURCE_DIR/web" "$dir/web"
    fi

    # The server first: it waits for the log that the writer is about to create.
    "$WINE" "$SERVER_EXE" --headless --dir "Z:$dir" > "$dir/server.out" 2>&1 &
    local server_pid=$!
    STARTED+=($server_pid)
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
        "$WINE" "$REPLAY_EXE" --speed $SPEED --from-start "Z:$recorded" "Z:$log" || status=1
    else
        "$HOST_REPLAY" --speed $SPEED --from-start "$recorded" "$log" || status=1
    fi
    [ $status = 0 ] || echo "FAILED ($name): the replay did not finish"
    # The server reads the end of the log within a pass or two; the result is the last broadcast.
    for _ in $(seq 100); do
        [ "$(grep -c 'result ' "$dir/viewer.txt")" -ge "$games" ] && break
        sleep 0.1
    done
    sleep 1
    if [ -n "$web_port" ]; then
        web_check "$web_port" "$(sed -n 's/^result //p' "$expected" | tail -1)" || status=1
    fi
    stop_process "$server_pid"
    [ "$STOPPED_STATUS" = 0 ] || {
        echo "FAILED ($name): the server ended with status $STOPPED_STATUS on Ctrl-C"; status=1
    }
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

# Names reach wine, and wine the server, as UTF-8.
export LC_ALL=C.UTF-8
windows_name() { echo "Z:${1//\//\\}"; }

status=0
run_case xboard_log '\n' host web "$FIXTURES/xboard/sf_fairymax.debug" \
    "$FIXTURES/xboard/sf_fairymax.expected" || status=1
# What the operator can read of the system's set-up.
for fact in "Timer resolution: 1 ms" "Web port: [0-9]* held exclusively"; do
    grep -q "^$fact" "$WORK/xboard_log/server.log" ||
        { echo "FAILED: server.log does not say '$fact'"; status=1; }
done
run_case arena_log_held '\r\n' wine no_web "$FIXTURES/arena/phalanx_sf.log" \
    "$FIXTURES/xboard/phalanx_sf.expected" || status=1
accented="$WORK/accented_Jösé"
run_case accented_Jösé '\r\n' host no_web "$FIXTURES/xboard/sf_fairymax.debug" \
    "$FIXTURES/xboard/sf_fairymax.expected" "$accented/gui.log" \
    "$(windows_name "$accented/gui.log")" || status=1
# A drive of the prefix's own for the test, given back at the end.
drive="${WINEPREFIX:-$HOME/.wine}/dosdevices/q:"
if [ ! -e "$drive" ]; then
    mkdir -p "$WORK/drive_root/root"
    ln -s "$WORK/drive_root/root" "$drive"
    run_case drive_root '\n' host no_web "$FIXTURES/xboard/sf_fairymax.debug" \
        "$FIXTURES/xboard/sf_fairymax.expected" "$WORK/drive_root/root/gui.log" 'Q:\gui.log' ||
        status=1
    rm -f "$drive"
else
    echo "drive_root: SKIPPED, the prefix has a drive Q: already"
fi
[ $status = 0 ] && echo "PASSED"
exit $status
