#!/bin/sh
# Records a real XBoard round robin in tournament mode (the engines changed
# between games, one game a pairing) and writes NAME.debug, NAME.pgn and
# NAME.expected into OUT-DIR (default tests/fixtures/xboard).
#
#   tools/record/record_tourney.sh field [OUT-DIR]          all eight engines, 10 s for 40 moves
#   tools/record/record_tourney.sh field_ponder [OUT-DIR]   the same, every engine pondering
#   tools/record/record_tourney.sh time_loss [OUT-DIR]      three engines at 4 s, played again
#                                                           until XBoard refused a move on time
#   tools/record/record_tourney.sh accidents [OUT-DIR]      fairymax and phalanx against an engine
#                                                           that moves illegally and one that dies
#   tools/record/record_tourney.sh gui_restart [OUT-DIR]    three engines; XBoard is stopped in the
#                                                           middle of game 2 and started again
#                                                           (its second log is NAME_again.debug)
#   tools/record/record_tourney.sh positions [OUT-DIR]      three engines; every pairing plays each
#                                                           position of tourney_positions.fen
#                                                           once, the colours alternating (default
#                                                           OUT-DIR tests/fixtures/xboard/openings)
#
# The field is every chess engine Debian ships: Stockfish, Toga II and Glaurung
# (UCI, run through polyglot), GNU Chess, Sjeng, HoiChess, Phalanx and
# Fairy-Max (XBoard protocol). Needs the packages listed in README.md.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
NAME=${1:?"usage: $0 field|field_ponder|time_loss [OUT-DIR]"}
OUT=${2:-$HERE/../../tests/fixtures/xboard}
WORK=$(mktemp -d /tmp/lantrel-tourney-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

# Engines as XBoard's -firstChessProgramNames lists them: a name, the command.
FIELD='"stockfish" -fcp stockfish -fUCI
"toga2" -fcp toga2 -fUCI
"glaurung" -fcp glaurung -fUCI
"gnuchess" -fcp "gnuchess --xboard"
"sjeng" -fcp sjeng
"hoichess" -fcp "hoichess -x"
"phalanx" -fcp phalanx
"fairymax" -fcp fairymax'
THREE='"stockfish" -fcp stockfish -fUCI
"fairymax" -fcp fairymax
"phalanx" -fcp phalanx'
# faulty_engine.py runs a real engine and breaks it on purpose.
ACCIDENTS="\"fairymax\" -fcp fairymax
\"phalanx\" -fcp phalanx
\"illegal\" -fcp \"python3 $HERE/faulty_engine.py --illegal-move 6 fairymax\"
\"crashing\" -fcp \"python3 $HERE/faulty_engine.py --die-after 8 phalanx\""

GAMES=1 POSITIONS=""
case $NAME in
    field) ENGINES=$FIELD TC=0:10 EXTRA="" TRIES=1 ;;
    field_ponder) ENGINES=$FIELD TC=0:10 EXTRA="-ponder" TRIES=1 ;;
    time_loss) ENGINES=$THREE TC=0:04 EXTRA="" TRIES=10 ;;
    accidents) ENGINES=$ACCIDENTS TC=0:10 EXTRA="" TRIES=1 ;;
    gui_restart) ENGINES=$THREE TC=0:10 EXTRA="" TRIES=1 ;;
    positions) ENGINES=$THREE TC=0:10 EXTRA="" TRIES=4
        POSITIONS=$HERE/tourney_positions.fen GAMES=$(grep -c . "$HERE/tourney_positions.fen")
        OUT=${2:-$HERE/../../tests/fixtures/xboard/openings} ;;
    *) echo "unknown tournament: $NAME" >&2; exit 2 ;;
esac
NAME=tourney_$NAME

# A refused move: an engine's "move X", then a result "on time" before the GUI
# sent X to the other engine.
refused() {
    awk '/ <(first |second): move / { pending = $NF; next }
         pending != "" && / >(first |second): / && $NF == pending { pending = ""; next }
         / >(first |second): result / { if (pending != "" && /on time/) found = 1; pending = "" }
         END { exit !found }' "$1"
}

# One tournament: the participants are the names of the engine list.
play() {
    rm -f "$WORK"/*
    {
        echo "-participants {$(echo "$ENGINES" | sed 's/^"\([^"]*\)".*/\1/')"
        echo "}"
        cat <<TRN
-tourneyType 0
-tourneyCycles 1
-defaultMatchGames $GAMES
-syncAfterRound false
-syncAfterCycle false
-saveGameFile "$WORK/tourney.pgn"
-loadGameFile ""
-loadPositionFile "$POSITIONS"
-usePolyglotBook false
-matchPause 1000
TRN
        # Each game from the next position of the file.
        [ -z "$POSITIONS" ] || echo "-loadPositionIndex -1"
        # Last: XBoard writes each result at the end of this line.
        echo '-results ""'
    } > "$WORK/tourney.trn"
    if [ "$NAME" = tourney_gui_restart ]; then
        # Started again on the same files, XBoard goes on with the tournament:
        # it leaves the interrupted game unplayed and plays the next one.
        stop_in_game_2 &
        xboard_run
        wait
        cp "$WORK/gui.debug" "$WORK/first-run.debug"
        xboard_run
    else
        xboard_run
    fi
}

# Stops XBoard at once, as a crash or a power cut would, once game 2 has had
# ten moves. (Told to quit instead, XBoard 4.9.1 in tournament mode waits for
# ever on its engines.)
stop_in_game_2() {
    while sleep 1; do
        moves=$(awk '/^GameEnds\([1-9]/ { games++ } games == 1 && / <(first |second): move / { n++ }
                     END { print n + 0 }' "$WORK/gui.debug" 2>/dev/null || echo 0)
        [ "$moves" -ge 10 ] && break
    done
    pkill -KILL -f "^/usr/games/xboard .*-tf $WORK/tourney.trn" || true
}

xboard_run() {
    # shellcheck disable=SC2086  # EXTRA is zero or more options
    (cd "$WORK" && HOME="$WORK" PATH="$PATH:/usr/games" timeout 3600 xvfb-run -a /usr/games/xboard \
        -firstChessProgramNames "{$ENGINES
}" \
        -tc "$TC" -mps 40 -autoCallFlag true $EXTRA -tf "$WORK/tourney.trn" -mm \
        -debug -nameOfDebugFile "$WORK/gui.debug" \
        -adjudicateDrawMoves 80 -adjudicateLossThreshold -700 \
        -saveSettingsOnExit false -popupExitMessage false -popupMoveErrors false \
        -soundProgram "" > "$WORK/xboard.out" 2>&1) || true
}

try=1
while [ $try -le $TRIES ]; do
    play
    # An engine that was given its position by "edit" assumes castling rights
    # wherever king and rook stand at home, and may castle where the position
    # does not allow it: XBoard forfeits it, and the tournament is played again.
    if [ -s "$WORK/tourney.pgn" ] && { [ "$NAME" != tourney_time_loss ] || refused "$WORK/gui.debug"; } &&
        { [ -z "$POSITIONS" ] || ! grep -q "invalid move" "$WORK/tourney.pgn"; }; then
        if [ "$NAME" = tourney_gui_restart ]; then
            # XBoard empties its debug log when it starts: the second run's log
            # replaces the first one's.
            cp "$WORK/first-run.debug" "$OUT/$NAME.debug"
            cp "$WORK/gui.debug" "$OUT/${NAME}_again.debug"
        else
            cp "$WORK/gui.debug" "$OUT/$NAME.debug"
        fi
        cp "$WORK/tourney.pgn" "$OUT/$NAME.pgn"
        [ -z "$POSITIONS" ] || cp "$POSITIONS" "$OUT/"
        "$HERE/record_xboard.py" --expect "$OUT/$NAME.pgn" "$OUT/$NAME.expected"
        echo "recorded $OUT/$NAME.debug after $try tries"
        exit 0
    fi
    try=$((try + 1))
done
tail -5 "$WORK/xboard.out" >&2
echo "no usable tournament in $TRIES tries" >&2
exit 1
