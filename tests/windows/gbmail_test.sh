#!/usr/bin/env bash
# gbmail.cmd under wine's cmd, with a stand-in for curl.exe that keeps the message
# it is given: the mail as the server asks for it (a subject with brackets), a
# subject option without its word, and a recipient that is no address.
#   gbmail_test.sh WINE SOURCE_DIR
set -euo pipefail
wine=$1
work=$(mktemp -d /tmp/lantrel-gbmail-XXXXXX)
trap 'rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }

cp "$2/tools/gbmail.cmd" "$work/"
printf '1. e4 e5\r\n' >"$work/games.txt"
printf '%s\r\n' '@echo off' ':next' \
    'if "%~1"=="--upload-file" copy /y "%~2" "%GBMAIL_TEST_OUT%" >nul' \
    'shift' 'if not "%~1"=="" goto next' 'exit /b 0' >"$work/curl.cmd"
export GBMAIL_CURL=$(win "$work/curl.cmd") GBMAIL_TEST_OUT=$(win "$work/mail.txt")

gbmail() {
    rm -f "$work/mail.txt"
    "$wine" cmd /c "$(win "$work/gbmail.cmd")" -to "$1" -file "$(win "$work/games.txt")" \
        -h 127.0.0.1:2525 -from op@example.org -s "${@:2}" | tr -d '\r'
}
expect_mail() {
    local want
    want=$(printf '%s\n' "From: op@example.org" "To: viewer@example.org" "Subject: $1" \
        "MIME-Version: 1.0" "Content-Type: text/plain; charset=ISO-8859-1" \
        "Content-Transfer-Encoding: 8bit" "" "1. e4 e5")
    [ "$(tr -d '\r' <"$work/mail.txt")" = "$want" ] || {
        echo "mail with subject '$1' differs:"; cat "$work/mail.txt"; exit 1
    }
}

sent() { grep -q ': sent$' <<<"$1" || { echo "$1"; exit 1; }; }
sent "$(gbmail viewer@example.org 'Your_requested_game(s).')"
expect_mail 'Your requested game(s).'
sent "$(gbmail viewer@example.org)"
expect_mail 'Your requested games'
out=$(gbmail nobody 'Games' || true)
grep -q "no usable recipient address 'nobody'; nothing sent" <<<"$out" || { echo "$out"; exit 1; }
[ ! -e "$work/mail.txt" ] || { echo "a mail went out without a recipient address"; exit 1; }
echo "gbmail ok"
