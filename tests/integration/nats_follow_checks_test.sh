#!/usr/bin/env bash
# The NATS follower's checks of what reaches it (tests/integration/nats_follow_checks.mjs),
# on Node's own test runner: no NATS server, no npm package.
# Usage: nats_follow_checks_test.sh SERVER_BIN VIEWER_BIN SOURCE_DIR REPLAY_BIN
# Skipped (77) without node.
set -u
command -v node >/dev/null || { echo "SKIPPED: needs node"; exit 77; }
exec node --test "$3/tests/integration/nats_follow_checks.mjs"
