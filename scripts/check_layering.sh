#!/usr/bin/env bash
# The layering rules of the source tree, checked by the test suite (the build
# enforces the first one too: each layer's library sees only these folders):
#   - each folder of src/ includes only its own headers and those of the layers
#     below it, the arrows of docs/ARCHITECTURE.md: the app composes the parts,
#     the feed and the outputs meet only in events/, the chess rules and the
#     tournament services stand on text/ alone;
#   - no include climbs out of a folder ("../");
#   - no system header appears outside src/platform, the programs included: a
#     second backend then replaces src/platform's files and nothing else;
#   - files, folders and threads are the platform layer's too: no <filesystem>,
#     <fstream> or <thread> above it, but for the web listener's own thread
#     (web/web_listener.h) and the programs' threads in tools/.
# Prints each breach and exits 1 when there is one.
set -u
cd "$(dirname "$0")/.."

breaches=0
report() {
    printf '%s\n' "$2" | while IFS= read -r hit; do
        [ -n "$hit" ] && echo "$1: $hit"
    done
    [ -z "$2" ] || breaches=1
}

declare -A uses=(
    [text]="text"
    [platform]="platform"
    [chess]="chess text"
    [tourney]="tourney text"
    [events]="events chess text"
    [feed]="feed events chess text platform"
    [net]="net events chess text platform"
    [web]="web events chess tourney text platform"
    [app]="app feed net web tourney events chess text platform"
)
for layer in src/*/; do
    layer=$(basename "$layer")
    allowed=${uses[$layer]:-}
    if [ -z "$allowed" ]; then
        report "folder without a place among the layers" "src/$layer"
        continue
    fi
    report "$layer includes beyond ${allowed// /, }" \
        "$(grep -rn '#include "' "src/$layer" | grep -v -E "#include \"(${allowed// /|})/")"
done

report "include climbing out of its folder" "$(grep -rn '#include "\.\./' src tools)"

system='#include <(unistd\.h|poll\.h|fcntl\.h|signal\.h|csignal|termios\.h|cerrno|errno\.h|spawn\.h|netdb\.h|ifaddrs\.h|dirent\.h|sys/|arpa/|netinet/|windows\.h|winsock2\.h|ws2tcpip\.h|iphlpapi\.h)'
report "system header outside src/platform" \
    "$(grep -rn -E "$system" src tools | grep -v '^src/platform/')"

report "files or threads above the platform layer" \
    "$(grep -rn -E '#include <(filesystem|fstream|thread)>' src | grep -v -E '^src/(platform/|web/web_listener\.h:[0-9]+:#include <thread>)')"

[ "$breaches" -eq 0 ] && echo "layering: every rule holds"
exit "$breaches"
