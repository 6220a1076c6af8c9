@echo off
rem An installation in plain cmd that shows the Tamsrove progress window while it works, stops
rem its work when the user chooses Terminate, and ends the window when the work is done.
rem
rem   example.cmd [SECONDS]    the stand-in work takes SECONDS (default 3)
rem
rem Tamsrove.exe comes from beside this file, or from %TAMSROVE_EXE% when that is set.
rem The exit code is the window's answer: 0 when it saw the flag, 1223 when the user terminated,
rem 1460 when it timed out, 183 when another window already showed, 259 when it did not end in
rem time, 2 when it could not be shown. A batch file keeps no process handle: a second cmd waits
rem for the window (start /wait) and leaves its exit code in a file, which this one reads.
if "%~1"==":watch" goto watch
setlocal EnableExtensions
set "work=%~1"
if not defined work set work=3
set "exe=%TAMSROVE_EXE%"
if not defined exe set "exe=%~dp0Tamsrove.exe"
set "key=HKCU\Software\Marrowfen"
set "code_file=%TEMP%\Tamsrove-%RANDOM%%RANDOM%.code"

if not exist "%exe%" (
    echo %exe% is missing.
    exit /b 2
)
rem The window never creates the key: make it, not yet set, before starting the window.
rem (Checked with "if errorlevel": Wine's cmd runs the right side of a "||" after a redirected
rem command even when it succeeded.)
reg add "%key%" /v frx /t REG_SZ /d 0 /f >nul
if errorlevel 1 (
    echo The flag cannot be written.
    exit /b 2
)
start "" /b cmd /c call "%~f0" :watch "%exe%" "%code_file%"

rem The installation's own work, in steps of a second; between steps, see whether the window
rem has ended (the user terminated, or it timed out): then stop the work.
set /a step=0
:work
if %step% geq %work% goto finish
call :pause 1
set /a step+=1
if not exist "%code_file%" goto work
echo The progress window ended during the work.

:finish
if exist "%code_file%" goto ended
rem Only a window that still runs can clear the "1": write it, then wait at most 5 s.
reg add "%key%" /v frx /t REG_SZ /d 1 /f >nul
set /a waited=0
:wait
if exist "%code_file%" goto ended
if %waited% geq 5 goto still_running
call :pause 1
set /a waited+=1
goto wait

:still_running
rem Left as it is: the window still clears the "1" when it sees it.
echo The progress window did not end in time.
set code=259
goto done

:ended
set /p code=<"%code_file%"
del "%code_file%"
rem Every window has gone, so nobody is left to clear the flag: a window that saw the "1" has
rem written "0" already; one that ended otherwise (Terminate, time-out) leaves it to us.
reg add "%key%" /v frx /t REG_SZ /d 0 /f >nul

:done
echo The progress window's answer: %code%
exit /b %code%

rem Waits SECONDS: Wine's cmd has no timeout command, and ping waits a second between echoes.
:pause
set /a echoes=%~1+1
ping -n %echoes% 127.0.0.1 >nul
exit /b

rem Run by the start above in a second cmd: waits for the window and writes its exit code (the
rem full value, which only Windows sees) to the file, renamed into place so that it is read whole.
:watch
start "" /wait "%~2"
echo %errorlevel%>"%~3.part"
move /y "%~3.part" "%~3" >nul
exit /b
