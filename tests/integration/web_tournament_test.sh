#!/usr/bin/env bash
# The page through a whole tournament: headless Chromium follows the feed while
# a recorded XBoard round robin (tourney_time_loss: three engines, a move
# refused after a flag fell, games won on time) is replayed, and
# web_tournament.mjs checks that every game the page showed, its number, its
# players and its result, is the game XBoard saved.
#
# Usage: web_tournament_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
RECORDED=$3/tests/fixtures/xboard/tourney_time_loss
exec bash "$3/tests/integration/page_run.sh" "$@" "$RECORDED" web_tournament.mjs \
    --saved "$RECORDED.pgn"
