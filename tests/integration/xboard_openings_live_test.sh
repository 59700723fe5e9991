#!/usr/bin/env bash
# Live test with a real XBoard playing from an opening file and from a position
# file, one short engine game for each. The GUI plays the opening moves itself,
# or sets up the position (setboard for the UCI engine, the old "edit" set-up for
# fairymax), and relays every move to the other engine. The viewer's games must
# be the games XBoard saved, opening moves included, with no move error in
# server.log, and the server must have taken moves or positions from the GUI.
#
# Usage: xboard_openings_live_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR
. "$(dirname "$0")/xboard_live.sh"

# gui_case NAME XBOARD-OPTIONS...: run_case, and the GUI's own moves were followed.
gui_case() {
    local name=$1
    run_case "$@" || return 1
    local log="$WORK/$name/server.log"
    if ! grep -q "> GUI " "$log"; then
        echo "FAILED ($name): no move or position taken from the GUI"
        grep "> GUI " "$log"; tail -30 "$log"
        return 1
    fi
    echo "$name: $(grep -c '> GUI move ' "$log") move(s) and $(grep -c '> GUI position ' "$log") position(s) from the GUI"
}

status=0
# Ten opening plies (Ruy Lopez) given to stockfish (usermove lines), then to fairymax.
gui_case opening_file -fcp stockfish -fUCI -scp fairymax \
    -lgf "$SOURCE_DIR/tools/record/openings.pgn" -lgi 1 || status=1
# A position with Black to move: the "edit" set-up to fairymax first (with XBoard's
# placeholder move "a2a3" before it), then setboard to stockfish.
gui_case position_file -fcp fairymax -scp stockfish -sUCI \
    -lpf "$SOURCE_DIR/tools/record/positions.fen" -lpi 2 || status=1
[ $status = 0 ] && echo "PASSED"
exit $status
