#!/usr/bin/env bash
# The Lantrel demo: builds the programs, then replays a recorded XBoard game
# into a GUI log in a fresh temporary directory while the server follows it and
# a viewer shows what the server broadcasts. On a terminal with tmux the server's
# status screen and the viewer share the window; elsewhere the server runs
# headless and the viewer prints what it receives. It ends by itself at the end
# of the game, or on Ctrl-C.
#   scripts/demo.sh [--speed X]      (default: the recorded pace)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

speed=1
[ "${1:-}" = "--speed" ] && speed="${2:-1}"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j 2 --target lantrel-server lantrel-viewer lantrel-replay >/dev/null
bin="$root/build/default"

work="$(mktemp -d "${TMPDIR:-/tmp}/lantrel-demo-XXXXXX")"
port="$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
sed "s/^PORT=.*/PORT=$port/" demo/server.ini > "$work/server.ini"
: > "$work/gui-debug.log"
game="$root/demo/game.debug"
session="lantrel-demo-$$"

cleanup() {
    [ -n "${replay_pid:-}" ] && kill "$replay_pid" 2>/dev/null || true
    [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true
    [ -n "${viewer_pid:-}" ] && kill "$viewer_pid" 2>/dev/null || true
    tmux -L "$session" kill-server 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Demo directory: $work (port $port)"
if [ -t 1 ] && command -v tmux >/dev/null; then
    # Server on top (its status screen needs 80 x 24), viewer below.
    tmux -L "$session" new-session -d -s "$session" -x "$(tput cols)" -y "$(tput lines)" \
        "$bin/lantrel-server --dir $work"
    tmux -L "$session" split-window -v -t "$session" -l 50% \
        "sleep 1; $bin/lantrel-viewer --port $port --name DemoViewer"
    tmux -L "$session" select-pane -t "$session:0.0"
    ( sleep 2; "$bin/lantrel-replay" --speed "$speed" "$game" "$work/gui-debug.log";
      sleep 5; tmux -L "$session" kill-server 2>/dev/null ) &
    replay_pid=$!
    TMUX= tmux -L "$session" attach-session -t "$session" || true
else
    "$bin/lantrel-server" --headless --dir "$work" & server_pid=$!
    sleep 0.5
    "$bin/lantrel-viewer" --raw --port "$port" --name DemoViewer </dev/null & viewer_pid=$!
    sleep 0.5
    "$bin/lantrel-replay" --speed "$speed" "$game" "$work/gui-debug.log"
    sleep 3
fi
echo
echo "The server's journal (server.log):"
cat "$work/server.log"
