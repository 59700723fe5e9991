#!/usr/bin/env bash
# The page through eight games of Fischer random chess (frc_sf_fairysf), with
# web_tournament.mjs's walk: every game the page shows, and each earlier game
# opened from its game list, is the game XBoard saved, move by move, its
# castling on both wings included.
#
# Usage: web_chess960_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
RECORDED=$3/tests/fixtures/xboard/frc_sf_fairysf
exec bash "$3/tests/integration/page_run.sh" "$@" "$RECORDED" web_tournament.mjs \
    --saved "$RECORDED.pgn"
