#!/usr/bin/env bash
# The Windows zip holds what an operator unpacks beside WinBoard or Arena.
#   windows_zip_test.sh ZIP
set -euo pipefail
zip=$1
listing=$(python3 -m zipfile -l "$zip")
root=$(basename "$zip" .zip)
for f in lantrel-server.exe lantrel-viewer.exe lantrel-replay.exe gbmail.cmd server.ini.sample \
         README.md LICENSE docs/OPERATIONS.md docs/PROTOCOL.md web/index.html web/app.js; do
    grep -q " *$root/$f " <<<"$listing" || { echo "missing from the zip: $f"; exit 1; }
done
# Unpacked, the sample is a Windows text file with Windows paths.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -m zipfile -e "$zip" "$work"
sample="$work/$root/server.ini.sample"
grep -q $'^PORT=16000\r$' "$sample"
grep -q $'^PATH=C:\\\\Chess\\\\winboard.debug\r$' "$sample"
! grep -q $'[^\r]$' "$sample" || { echo "server.ini.sample has a line without CR LF"; exit 1; }
grep -q $'^@echo off\r$' "$work/$root/gbmail.cmd"
echo "zip ok"
