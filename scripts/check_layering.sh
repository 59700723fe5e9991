#!/usr/bin/env bash
# The layering rules of the source tree, checked by the test suite:
#   - nothing below the app includes app/ (the app composes the parts, never
#     the other way round);
#   - the chess rules and the tournament services include nothing of ours but
#     their own folder and text/ (they take values and return values);
#   - no system header appears outside src/platform, the programs included:
#     a second backend then replaces src/platform's files and nothing else.
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

report "includes app/" \
    "$(grep -rn '#include "app/' src/chess src/feed src/net src/tourney src/text src/platform src/web)"
report "chess includes more than chess/ and text/" \
    "$(grep -rn '#include "' src/chess | grep -v -E '#include "(chess|text)/')"
report "tourney includes more than tourney/ and text/" \
    "$(grep -rn '#include "' src/tourney | grep -v -E '#include "(tourney|text)/')"
system='#include <(unistd\.h|poll\.h|fcntl\.h|signal\.h|csignal|termios\.h|cerrno|errno\.h|spawn\.h|netdb\.h|ifaddrs\.h|dirent\.h|sys/|arpa/|netinet/|windows\.h|winsock2\.h|ws2tcpip\.h|iphlpapi\.h)'
report "system header outside src/platform" \
    "$(grep -rn -E "$system" src tools | grep -v '^src/platform/')"

[ "$breaches" -eq 0 ] && echo "layering: every rule holds"
exit "$breaches"
