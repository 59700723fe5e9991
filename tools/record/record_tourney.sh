#!/bin/sh
# Records a real XBoard round robin (tournament mode, the engines changed
# between games) with very short time controls, until one game holds a move
# that XBoard refused because it came after the mover's flag fell: XBoard
# announces the time loss and never passes that move to the other engine.
#
#   tools/record/record_tourney.sh [OUT-DIR]   (default tests/fixtures/xboard)
#
# Writes OUT-DIR/tourney_time_loss.debug and .pgn; the .expected file is made
# by record_xboard.py --expect. Needs the packages listed in README.md.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=${1:-$HERE/../../tests/fixtures/xboard}
TRIES=10
WORK=$(mktemp -d /tmp/lantrel-tourney-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# A refused move: an engine's "move X", then a result "on time" before the GUI
# sent X to the other engine.
refused() {
    awk '/ <(first |second): move / { pending = $NF; next }
         pending != "" && / >(first |second): / && $NF == pending { pending = ""; next }
         / >(first |second): result / { if (pending != "" && /on time/) found = 1; pending = "" }
         END { exit !found }' "$1"
}

try=1
while [ $try -le $TRIES ]; do
    rm -f "$WORK"/*
    cat > "$WORK/tourney.trn" <<TRN
-participants {stockfish
fairymax
phalanx
}
-tourneyType 0
-tourneyCycles 1
-defaultMatchGames 1
-syncAfterRound false
-syncAfterCycle false
-saveGameFile "$WORK/tourney.pgn"
-loadGameFile ""
-loadPositionFile ""
-usePolyglotBook false
-matchPause 1000
-results ""
TRN
    (cd "$WORK" && HOME="$WORK" PATH="$PATH:/usr/games" timeout 600 xvfb-run -a /usr/games/xboard \
        -firstChessProgramNames '{"stockfish" -fcp stockfish -fUCI
"fairymax" -fcp fairymax
"phalanx" -fcp phalanx
}' \
        -tc 0:04 -mps 40 -autoCallFlag true -tf "$WORK/tourney.trn" -mm \
        -debug -nameOfDebugFile "$WORK/gui.debug" \
        -adjudicateDrawMoves 80 -adjudicateLossThreshold -700 \
        -saveSettingsOnExit false -popupExitMessage false -popupMoveErrors false \
        -soundProgram "" > "$WORK/xboard.out" 2>&1) || true
    if [ -s "$WORK/tourney.pgn" ] && refused "$WORK/gui.debug"; then
        cp "$WORK/gui.debug" "$OUT/tourney_time_loss.debug"
        cp "$WORK/tourney.pgn" "$OUT/tourney_time_loss.pgn"
        echo "recorded after $try tries"
        exit 0
    fi
    try=$((try + 1))
done
echo "no refused move in $TRIES tournaments" >&2
exit 1
