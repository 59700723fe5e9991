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
rem   GBMAIL_SMTP    the mail server as a whole URL instead of smtp://HOST, for
rem                  example smtp://mail.example.org:587 (STARTTLS) or
rem                  smtps://mail.example.org:465 (TLS from the start)
rem   GBMAIL_USER    USER:PASSWORD for a mail server that asks for a login; every
rem                  character is kept ("!", "^", "&" and the percent sign too).
rem                  It reaches curl as a quoted value of its options, where a
rem                  backslash is written \\ and a double quote \". With a login
rem                  the mail goes over TLS or not at all: a smtp:// server must
rem                  offer STARTTLS.
rem   GBMAIL_REVOKE_BEST_EFFORT  1: a server's certificate is refused only when it
rem                  is known to be revoked, not when the revocation list cannot
rem                  be reached (curl's CRYPT_E_NO_REVOCATION_CHECK, common behind
rem                  company firewalls)
rem   GBMAIL_CURL    the curl program to run (default: curl.exe on the PATH), or a
rem                  .cmd or .bat file that stands in for it
rem
rem Everything is written to standard output (the server appends it to email.log).
rem The exit status is 0 when the mail server accepted the mail.
rem
rem The words are read with delayed expansion off, which keeps "!" and "^" in
rem them, and used as !name! once it is on, which takes them as they are.
setlocal EnableExtensions DisableDelayedExpansion

set "to="
set "file="
set "host="
set "from="
set "subject="

rem Option values are plain words; a missing value (the next word is an option)
rem leaves the setting empty.
:next_option
set "option=%~1"
if not defined option goto options_read
shift
set "value=%~1"
for %%o in (-to -file -h -from -s) do if /i "%value%"=="%%o" set "value="
if defined value shift
if /i "%option%"=="-to" set "to=%value%"& goto next_option
if /i "%option%"=="-file" set "file=%value%"& goto next_option
if /i "%option%"=="-h" set "host=%value%"& goto next_option
if /i "%option%"=="-from" set "from=%value%"& goto next_option
if /i "%option%"=="-s" set "subject=%value%"& goto next_option
echo gbmail: unknown option %option% ignored
goto next_option
:options_read

setlocal EnableDelayedExpansion
set "stamp=!DATE! !TIME!"
if not defined to goto no_recipient
if "%to:@=%"=="%to%" goto no_recipient
if not defined file goto unreadable
if not exist "!file!" goto unreadable
if not defined from set "from=!USERNAME!@!COMPUTERNAME!"
if not defined subject set "subject=Your requested games"
set "subject=%subject:_= %"

set "url=smtp://!host!"
if defined GBMAIL_SMTP set "url=!GBMAIL_SMTP!"
if "!url!"=="smtp://" goto no_server
set "curl=curl.exe"
if defined GBMAIL_CURL set "curl=!GBMAIL_CURL!"
rem A batch file in curl's place must be called, or it would never come back here.
set "run="
if /i "%curl:~-4%"==".cmd" set "run=call"
if /i "%curl:~-4%"==".bat" set "run=call"

rem A folder of this mail's own. Two mails started in the same second draw the
rem same random numbers (cmd seeds them from the time in seconds), so a name
rem that is taken already (mkdir fails) is drawn again until one is free.
set "tries=0"
:make_folder
set /a tries+=1
if !tries! gtr 100 goto no_folder
set "work=!TEMP!\gbmail-!RANDOM!-!RANDOM!"
rem ver clears the error level, which mkdir sets only when it fails.
ver >nul
mkdir "!work!" 2>nul
if errorlevel 1 goto make_folder

rem The message is built in full before curl starts, so that the server may empty
rem the file for the next request while this one is still being sent.
set "message=!work!\message.txt"
set "maildate="
for /f "delims=" %%d in ('powershell -NoProfile -NonInteractive -Command "$d = [DateTime]::Now; $d.ToString('ddd, dd MMM yyyy HH:mm:ss ', [Globalization.CultureInfo]::InvariantCulture) + $d.ToString('zzz').Replace(':', '')" 2^>nul') do set "maildate=%%d"
> "!message!" echo From: !from!
>> "!message!" echo To: !to!
>> "!message!" echo Subject: !subject!
if defined maildate >> "!message!" echo Date: !maildate!
>> "!message!" echo MIME-Version: 1.0
>> "!message!" echo Content-Type: text/plain; charset=ISO-8859-1
>> "!message!" echo Content-Transfer-Encoding: 8bit
>> "!message!" echo.
type "!file!" >> "!message!"

rem The login and the TLS settings go to curl in a file of its options, not on
rem its command line, where every program on the PC could read the password.
set "options=!work!\curl.cfg"
> "!options!" echo silent
>> "!options!" echo show-error
if "!GBMAIL_REVOKE_BEST_EFFORT!"=="1" >> "!options!" echo ssl-revoke-best-effort
if not defined GBMAIL_USER goto options_written
>> "!options!" echo ssl-reqd
rem The login is taken from the listing of the environment, as a FOR value, so
rem that no expansion of the command line acts on a "!" or "^" in it.
setlocal DisableDelayedExpansion
for /f "tokens=1,* delims==" %%a in ('set GBMAIL_USER') do if /i "%%a"=="GBMAIL_USER" >> "%options%" echo user = "%%b"
endlocal
:options_written

echo gbmail !stamp!: sending !file! to !to! via !url! with curl
%run% "!curl!" --config "!options!" --url "!url!" --mail-from "!from!" --mail-rcpt "!to!" --upload-file "!message!"
set "status=!ERRORLEVEL!"
rd /s /q "!work!" 2>nul
if not "!status!"=="0" goto not_sent
echo gbmail !stamp!: sent
exit /b 0

:not_sent
echo gbmail !stamp!: the mail server did not take the mail, curl exit status !status!
exit /b !status!

:no_recipient
echo gbmail !stamp!: no usable recipient address '!to!'; nothing sent
exit /b 2

:no_server
echo gbmail !stamp!: no mail server given, -h HOST or GBMAIL_SMTP; nothing sent
exit /b 2

:no_folder
echo gbmail !stamp!: cannot make a folder under !TEMP!; nothing sent
exit /b 3

:unreadable
echo gbmail !stamp!: cannot read the file '!file!'; nothing sent
exit /b 2
