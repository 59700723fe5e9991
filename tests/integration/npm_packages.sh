# Sourced by the integration tests that drive Node: installs the npm packages of
# tests/integration/web (puppeteer-core, chess.js, chessops, nats, nats.ws) once per lock
# file into a cache outside the source tree and sets NPM_DIR to it; skips the
# test (exit status 77) when they or what drives them are missing.

# Ends the test as skipped, saying why.
skip() {
    echo "SKIPPED: $*"
    exit 77
}

#   install_npm_packages SOURCE_DIR WORK
install_npm_packages() {
    local lock_dir=$1/tests/integration/web work=$2 key
    key=$(cat "$lock_dir/package.json" "$lock_dir/package-lock.json" | sha256sum | cut -c1-16)
    NPM_DIR=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/lantrel-npm/$key
    [ -f "$NPM_DIR/installed" ] && return 0
    mkdir -p "$NPM_DIR"
    cp "$lock_dir/package.json" "$lock_dir/package-lock.json" "$NPM_DIR/"
    if ! (cd "$NPM_DIR" && timeout 300 npm ci --no-audit --no-fund) > "$work/npm.out" 2>&1; then
        tail -5 "$work/npm.out"
        skip "npm ci could not install the test's npm packages"
    fi
    touch "$NPM_DIR/installed"
}

# Skips the test (calling `skip`) without Chromium at $CHROMIUM, node or npm.
need_chromium_and_node() {
    [ -x "$CHROMIUM" ] || skip "needs $CHROMIUM (scripts/install-deps.sh installs chromium)"
    command -v node >/dev/null && command -v npm >/dev/null || skip "needs node and npm"
}

# A free loopback port: free_port SOCK_STREAM | SOCK_DGRAM
free_port() {
    python3 -c "import socket; s=socket.socket(socket.AF_INET, socket.$1); s.bind(('127.0.0.1', 0)); print(s.getsockname()[1])"
}

# A recorded GUI log in two parts, as the tests replay it: WORK/gui.debug, the
# lines up to the first "new" (there before the server starts), and
# WORK/rest.debug, the rest (replayed while it follows).
#   split_recorded_log RECORDED WORK
split_recorded_log() {
    local primer_lines
    primer_lines=$(grep -n -m1 ' : new' "$1" | cut -d: -f1)
    head -n "$primer_lines" "$1" > "$2/gui.debug"
    tail -n +"$((primer_lines + 1))" "$1" > "$2/rest.debug"
}

