#!/usr/bin/env bash
# The demo as a script runs it (no terminal, so no tmux) at full speed: after
# the game it says so, the page still answers, and Ctrl-C (SIGINT) ends the demo
# and the server it started.
#
# Usage: demo_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR
set -u
server_bin="$1" source_dir="$3"
# The demo builds and runs the default preset's programs; another build is not its.
[ "$server_bin" -ef "$source_dir/build/default/lantrel-server" ] || {
    echo "SKIPPED: the demo runs build/default, not this build"
    exit 77
}
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
# A job of its own, so that it takes SIGINT as from a terminal.
set -m
"$source_dir/scripts/demo.sh" --speed 0 </dev/null >"$out" 2>&1 &
demo=$!
fail() {
    echo "FAILED: $1"
    cat "$out"
    kill -INT "$demo" 2>/dev/null
    exit 1
}

# The build may have work to do; the game itself lasts a few seconds.
for _ in $(seq 600); do
    grep -q "^The game is over: the page stays at " "$out" && break
    kill -0 "$demo" 2>/dev/null || fail "the demo ended by itself"
    sleep 0.5
done
page="$(sed -n 's/^The game is over: the page stays at \(http[^ ]*\) until Ctrl-C$/\1/p' "$out")"
[ -n "$page" ] || fail "no word of the game's end"
work="$(sed -n 's/^Demo directory: \([^ ]*\) .*/\1/p' "$out")"

python3 -c "import urllib.request,sys; urllib.request.urlopen(sys.argv[1], timeout=10).read()" \
    "$page" || fail "the page does not answer after the game"
kill -0 "$demo" 2>/dev/null || fail "the demo ended after the game"

kill -INT "$demo"
wait "$demo"
status=$?
[ "$status" -eq 130 ] || fail "Ctrl-C ended the demo with status $status"
pgrep -f -- "--dir $work" >/dev/null && fail "the server still runs after Ctrl-C"
[ -e "$work" ] && fail "the demo directory is left behind"
grep -q "The server's journal" "$out" || fail "no journal after Ctrl-C"
echo "PASSED"
