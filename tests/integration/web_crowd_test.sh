#!/usr/bin/env bash
# Many browsers behind one address: 40 headless Chromium browsers, each with
# connections of its own, open the page from 127.0.0.1 over ten seconds while
# a recorded game is played at its own pace, with the server's default
# limits. Each must load the whole page and follow the game to its end
# (web_crowd.mjs).
#
# Usage: web_crowd_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
exec bash "$3/tests/integration/page_run.sh" "$@" "$3/tests/fixtures/xboard/sf_sf" web_crowd.mjs \
    --browsers 40 --over 10
