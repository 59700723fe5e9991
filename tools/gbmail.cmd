@echo off
rem gbmail: mails a text file, as the Lantrel server's games-by-e-mail service asks:
rem
rem   gbmail -to ADDRESS -file FILE -h HOST[:PORT] -from ADDRESS -s SUBJECT
rem
rem The mail goes straight to the mail server HOST over SMTP (port 25 unless one is
rem given) through curl.exe, which comes with Windows 10 and later. Underscores in
rem the subject become blanks, since the subject arrives as one word.
rem
rem Environment:
rem   GBMAIL_SMTP   the mail server as a whole URL instead of smtp://HOST, for
rem                 example smtps://mail.example.org:465 for TLS from the start
rem   GBMAIL_USER   USER:PASSWORD for a mail server that asks for a login
rem   GBMAIL_CURL   the curl program to run (default: curl.exe on the PATH), or a
rem                 .cmd or .bat file that stands in for it
rem
rem Everything is written to standard output (the server appends it to email.log).
rem The exit status is 0 when the mail server accepted the mail.
rem Values are read with delayed expansion (!name!), so that the brackets of a
rem subject are not taken for the script's own.
setlocal EnableExtensions EnableDelayedExpansion

set "to="
set "file="
set "host="
set "from="
set "subject="

rem Option values are plain words; a missing value (the next word is an option)
rem leaves the setting empty. Words are only ever read quoted into variables,
rem since a subject such as "Your_requested_game(s)." would break a command
rem line it stood on bare.
:next_option
set "option=%~1"
if not defined option goto options_read
shift
set "value=%~1"
for %%o in (-to -file -h -from -s) do if /i "!value!"=="%%o" set "value="
if defined value shift
if /i "!option!"=="-to" set "to=!value!"& goto next_option
if /i "!option!"=="-file" set "file=!value!"& goto next_option
if /i "!option!"=="-h" set "host=!value!"& goto next_option
if /i "!option!"=="-from" set "from=!value!"& goto next_option
if /i "!option!"=="-s" set "subject=!value!"& goto next_option
echo gbmail: unknown option !option! ignored
goto next_option
:options_read

set "stamp=%DATE% %TIME%"
if "%to%"=="" goto no_recipient
if "%to:@=%"=="%to%" goto no_recipient
if "%file%"=="" goto unreadable
if not exist "%file%" goto unreadable
if "%from%"=="" set "from=%USERNAME%@%COMPUTERNAME%"
if not defined subject set "subject=Your requested games"
set "subject=%subject:_= %"

set "url=smtp://%host%"
if defined GBMAIL_SMTP set "url=%GBMAIL_SMTP%"
if "%url%"=="smtp://" goto no_server
set "curl=curl.exe"
if defined GBMAIL_CURL set "curl=%GBMAIL_CURL%"
rem A batch file in curl's place must be called, or it would never come back here.
set "run="
if /i "%curl:~-4%"==".cmd" set "run=call"
if /i "%curl:~-4%"==".bat" set "run=call"
set "login="
if defined GBMAIL_USER set login=--user "%GBMAIL_USER%"

rem The message is built in full before curl starts, so that the server may empty
rem the file for the next request while this one is still being sent.
set "message=%TEMP%\gbmail-%RANDOM%%RANDOM%.txt"
> "%message%" echo From: %from%
>> "%message%" echo To: %to%
>> "%message%" echo Subject: !subject!
>> "%message%" echo MIME-Version: 1.0
>> "%message%" echo Content-Type: text/plain; charset=ISO-8859-1
>> "%message%" echo Content-Transfer-Encoding: 8bit
>> "%message%" echo.
type "%file%" >> "%message%"

echo gbmail %stamp%: sending %file% to %to% via %url% with curl
%run% "%curl%" --silent --show-error --url "%url%" --mail-from "%from%" --mail-rcpt "%to%" --upload-file "%message%" %login%
set "status=%ERRORLEVEL%"
del "%message%" 2>nul
if not "%status%"=="0" goto not_sent
echo gbmail %stamp%: sent
exit /b 0

:not_sent
echo gbmail %stamp%: the mail server did not take the mail, curl exit status %status%
exit /b %status%

:no_recipient
echo gbmail %stamp%: no usable recipient address '%to%'; nothing sent
exit /b 2

:no_server
echo gbmail %stamp%: no mail server given, -h HOST or GBMAIL_SMTP; nothing sent
exit /b 2

:unreadable
echo gbmail %stamp%: cannot read the file '%file%'; nothing sent
exit /b 2
