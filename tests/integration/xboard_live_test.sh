#!/usr/bin/env bash
# Live test with a real XBoard: one short engine game, stockfish (UCI, through
# polyglot) against fairymax, ending with a result. The viewer's game must be the
# game XBoard saved: every move, every position, the players and the result.
#
# Usage: xboard_live_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR
. "$(dirname "$0")/xboard_live.sh"

run_case plain_game -fcp stockfish -fUCI -scp fairymax || exit 1
echo "PASSED"
