#!/usr/bin/env bash
# The Lantrel demo: builds the programs, then replays a recorded XBoard game
# into a GUI log in a fresh temporary directory while the server follows it and
# a viewer shows what the server broadcasts; the page for a browser is served
# too, at the address printed first. On a terminal with tmux the server's
# status screen (80 x 24) sits above the viewer, or in a window of its own when
# the terminal is too short for both; elsewhere the server runs headless and the
# viewer prints what it receives. Once the server has followed the whole game it
# says so and goes on serving the finished game, the page included, until Ctrl-C,
# which stops everything the demo started.
#   scripts/demo.sh [--speed X]      (default: the recorded pace; X > 0, or 0 for no waiting)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

usage() {
    echo "Usage: scripts/demo.sh [--speed X]   (X: times the recorded pace, 0 for no waiting)" >&2
    exit 2
}
speed=1
while [ $# -gt 0 ]; do
    case "$1" in
        --speed) [ $# -ge 2 ] || usage; speed="$2"; shift 2 ;;
        --help | -h) usage ;;
        *) echo "demo.sh: unknown argument '$1'" >&2; usage ;;
    esac
done
[[ "$speed" =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] || {
    echo "demo.sh: --speed needs a number of 0 or more, not '$speed'" >&2
    usage
}

scripts/install-deps.sh
# The build shows its progress: on a fresh machine it takes a few minutes.
echo "Building the server, the viewer and the replay tool (a few minutes the first time)..."
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target lantrel-server lantrel-viewer lantrel-replay
bin="$root/build/default"

work="$(mktemp -d "${TMPDIR:-/tmp}/lantrel-demo-XXXXXX")"
free_port() {
    python3 -c "import socket; s=socket.socket(socket.AF_INET, socket.$1); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])"
}
port="$(free_port SOCK_DGRAM)"
web_port="$(free_port SOCK_STREAM)"
game="$root/demo/game.debug"
session="lantrel-demo-$$"

# The server pauses after each move and after the result. At the recorded pace
# those pauses fit between the moves; sped up, they would leave the server
# further and further behind the replay, so they shrink with the speed (a move
# still gets a short pause, so that the viewers are not flooded).
ini_value() { sed -n "s/^$1=//p" demo/server.ini | head -n 1; }
scaled() { awk -v ms="$1" -v speed="$speed" -v least="$2" \
    'BEGIN { v = speed > 0 ? int(ms / speed + 0.5) : 0; print (v < least ? least : v) }'; }
after_move="$(scaled "$(ini_value DELAYAFTERMOVE)" 10)"
after_game="$(scaled "$(ini_value DELAYAFTERGAME)" 0)"
sed -e "s/^PORT=.*/PORT=$port/" -e "s/^WEBPORT=.*/WEBPORT=$web_port/" \
    -e "s/^DELAYAFTERMOVE=.*/DELAYAFTERMOVE=$after_move/" \
    -e "s/^DELAYAFTERGAME=.*/DELAYAFTERGAME=$after_game/" demo/server.ini > "$work/server.ini"
: > "$work/gui-debug.log"
: > "$work/viewer.out"

# Length of the replay in seconds: the last time stamp of the recording at this speed.
replay_seconds="$(awk -v speed="$speed" '$1 ~ /^[0-9]+$/ { t = $1 }
    END { print (speed > 0 ? int(t / 1000 / speed) + 1 : 1) }' "$game")"

cleanup() {
    # The viewer first, so that it logs off while the server still answers.
    if [ -n "${viewer_pid:-}" ]; then
        kill "$viewer_pid" 2>/dev/null || true
        wait "$viewer_pid" 2>/dev/null || true
    fi
    [ -n "${follow_pid:-}" ] && kill "$follow_pid" 2>/dev/null || true
    [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true
    if [ -n "${layout:-}" ]; then
        tmux -L "$session" kill-server 2>/dev/null || true
        rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$(id -u)/$session"  # tmux leaves its socket behind
    fi
    wait 2>/dev/null || true
    if [ -s "$work/server.log" ]; then
        echo
        echo "The server's journal (server.log):"
        cat "$work/server.log"
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits until the server has followed the whole game: the viewer has shown the
# result, or (for a recording without one) server.log has stopped growing for a
# while. Gives up after a minute, so that the end of the game is always told.
await_game_end() {
    local quiet_needed last=-1 size quiet=0 limit=$((SECONDS + 60))
    # Quiet for 2 s, or for three pauses after a move when those are longer (in 0.2 s steps).
    quiet_needed="$(awk -v ms="$after_move" 'BEGIN { q = 3 * ms / 200; print (q > 10 ? int(q) + 1 : 10) }')"
    while [ "$SECONDS" -lt "$limit" ]; do
        grep -Eq '(^|>)result |Result: ' "$work/viewer.out" && return 0
        size="$(wc -c < "$work/server.log" 2>/dev/null || echo 0)"
        if [ "$size" = "$last" ]; then quiet=$((quiet + 1)); else quiet=0; last="$size"; fi
        [ "$quiet" -ge "$quiet_needed" ] && return 0
        sleep 0.2
    done
    echo "demo.sh: the game did not end within a minute after the replay; stopping." >&2
}

page="http://127.0.0.1:$web_port/"
game_over="The game is over: the page stays at $page until Ctrl-C"
echo "Demo directory: $work (port $port)"
echo "Watch it in a browser too: $page"
if [ -t 0 ] && [ -t 1 ] && command -v tmux >/dev/null; then
    rows="$(tput lines 2>/dev/null || echo 24)"
    cols="$(tput cols 2>/dev/null || echo 80)"
    if [ "$rows" -lt 24 ] || [ "$cols" -lt 80 ]; then
        echo "Note: the server's status screen needs 80 x 24; this terminal has $cols x $rows."
    fi
    # Inside tmux the outer tmux takes the first Ctrl-b; a second one reaches ours.
    keys="Ctrl-b n"
    [ -n "${TMUX:-}" ] && keys="Ctrl-b Ctrl-b n"
    # Our own settings, not the user's: the hint about the keys must hold.
    # The status line keeps the page's address in sight.
    printf '%s\n' "set -g status-left-length 60" \
        "set -g status-left '[demo] browser: http://127.0.0.1:$web_port/ '" > "$work/tmux.conf"
    if [ "$rows" -ge 36 ]; then
        # Server on top with the 24 rows its screen needs, viewer below in the
        # rest (one row goes to the pane border, one to the status line).
        layout=split
        window_rows=$((rows - 1))
    elif [ "$rows" -ge 25 ]; then
        layout=windows
        echo "set -g status-right ' $keys: server / viewer '" >> "$work/tmux.conf"
        window_rows=$((rows - 1))
    else
        # No row to spare for a status line: the screen keeps all 24.
        layout=windows
        echo "set -g status off" >> "$work/tmux.conf"
        window_rows="$rows"
    fi
    t() { tmux -L "$session" -f "$work/tmux.conf" "$@"; }
    # When the server or the viewer ends (Ctrl-C in its pane, or its own quit
    # key or command), so does the demo.
    end_all="$(printf '%q ' tmux -L "$session" kill-server)"
    server_cmd="$(printf '%q ' "$bin/lantrel-server" --dir "$work"); $end_all"
    viewer_cmd="sleep 1; $(printf '%q ' "$bin/lantrel-viewer" --port "$port" --name DemoViewer); $end_all"
    t new-session -d -s "$session" -n server -x "$cols" -y "$window_rows" "$server_cmd"
    if [ "$layout" = split ]; then
        viewer_pane="$(t split-window -v -d -P -F '#{pane_id}' -t "$session:0" \
            -l $((window_rows - 24 - 1)) "$viewer_cmd")"
    else
        viewer_pane="$(t new-window -d -P -F '#{pane_id}' -t "$session:1" -n viewer "$viewer_cmd")"
        echo "Viewer in tmux window 1: $keys switches between server and viewer."
        sleep 3
    fi
    # A copy of what the viewer shows, to see when the game's result has reached it.
    t pipe-pane -t "$viewer_pane" -o "cat >> $(printf '%q' "$work/viewer.out")"
    (
        trap 'kill ${replay:-} 2>/dev/null; exit 0' TERM
        sleep 2
        if [ "$layout" = windows ]; then
            t display-message -d 5000 "The viewer is in window 1: $keys switches" || true
        fi
        "$bin/lantrel-replay" --speed "$speed" "$game" "$work/gui-debug.log" \
            2>>"$work/replay.err" &
        replay=$!
        wait "$replay" || true
        await_game_end 2>>"$work/replay.err"
        # The server goes on serving the finished game: the page keeps it.
        if [ "$layout" = windows ] && [ "$rows" -lt 25 ]; then
            t display-message -d 0 "$game_over" || true  # no status line: until a key
        else
            # Short enough for 80 columns, beside the keys when there are windows.
            right=""
            [ "$layout" = windows ] && right=" $keys "
            t set -g status-left-length 80 \; set -g status-right "$right" \; \
                set -g status-left "[demo] Game over; page at $page until Ctrl-C " || true
        fi
    ) &
    follow_pid=$!
    TMUX= t attach-session -t "$session" || true
    cat "$work/replay.err" 2>/dev/null >&2 || true
else
    "$bin/lantrel-server" --headless --dir "$work" &
    server_pid=$!
    sleep 0.5
    # The viewer would end with its (empty) input, so it gets a time to run
    # instead, well past the end of the game; it is stopped when the game is over.
    "$bin/lantrel-viewer" --raw --seconds $((replay_seconds + 120)) --port "$port" \
        --name DemoViewer </dev/null > >(tee -a "$work/viewer.out") &
    viewer_pid=$!
    sleep 0.5
    "$bin/lantrel-replay" --speed "$speed" "$game" "$work/gui-debug.log"
    await_game_end
    sleep 1
    kill "$viewer_pid" 2>/dev/null || true
    wait "$viewer_pid" 2>/dev/null || true
    viewer_pid=
    echo
    echo "$game_over"
    wait "$server_pid" || true
    server_pid=
fi
