#!/usr/bin/env bash
# gbmail.cmd under wine's cmd, with a stand-in for curl.exe that keeps the message
# it is given: the mail as the server asks for it (a subject with brackets), a
# subject option without its word, a recipient that is no address, a login with
# the characters cmd acts on, and two mails started at once.
#   gbmail_test.sh WINE SOURCE_DIR
set -euo pipefail
wine=$1
work=$(mktemp -d /tmp/lantrel-gbmail-XXXXXX)
trap 'rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }

cp "$2/tools/gbmail.cmd" "$work/"
printf '1. e4 e5\r\n' >"$work/games.txt"
# The stand-in keeps the message, curl's options file and where the message was.
printf '%s\r\n' '@echo off' ':next' \
    'if "%~1"=="--upload-file" copy /y "%~2" "%GBMAIL_TEST_OUT%" >nul& echo %~2>"%GBMAIL_TEST_OUT%.path"' \
    'if "%~1"=="--config" copy /y "%~2" "%GBMAIL_TEST_OUT%.cfg" >nul' \
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
    # The Date: line comes from PowerShell, which wine has not.
    [ "$(tr -d '\r' <"$work/mail.txt" | grep -v '^Date: ')" = "$want" ] || {
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
# A login keeps every character, and asks for TLS.
sent "$(GBMAIL_USER='us!er^&x:pa!ss^1&%x%' GBMAIL_REVOKE_BEST_EFFORT=1 \
    gbmail viewer@example.org Games)"
want=$(printf '%s\n' silent show-error ssl-revoke-best-effort ssl-reqd \
    'user = "us!er^&x:pa!ss^1&%x%"')
[ "$(tr -d '\r' <"$work/mail.txt.cfg")" = "$want" ] || {
    echo "curl's options differ:"; cat "$work/mail.txt.cfg"; exit 1
}

# Two mails started at once, in the same second: each has its own message file.
for n in 1 2; do
    GBMAIL_TEST_OUT=$(win "$work/mail$n.txt") "$wine" cmd /c "$(win "$work/gbmail.cmd")" \
        -to viewer@example.org -file "$(win "$work/games.txt")" -h 127.0.0.1 \
        -from op@example.org -s Games >"$work/run$n.log" &
done
wait
for n in 1 2; do grep -q ': sent' "$work/run$n.log" || { cat "$work/run$n.log"; exit 1; }; done
[ "$(cat "$work/mail1.txt.path")" != "$(cat "$work/mail2.txt.path")" ] || {
    echo "two mails shared the message file $(cat "$work/mail1.txt.path")"; exit 1
}
echo "gbmail ok"
