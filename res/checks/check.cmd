@echo off
rem Runs korvane's own tests on this Windows, against the korvane.exe of each
rem build beside them, for each build this Windows can run:
rem   check.cmd         changes nothing on this machine (files in %TEMP% alone)
rem   check.cmd /all    also moves, removes and makes folders, and puts back
rem                     what it changed: for a throwaway machine
rem The last line is "N passed, M failed, K skipped"; the status is 0 only
rem when nothing failed. Only find and for /f read the results (Wine's
rem findstr finds nothing), and no line chains commands with && or ||
rem (Wine's cmd runs what follows either).
setlocal enableextensions
set "KIT=%~dp0"
set "ALL="
if /i "%~1"=="/all" set "ALL=1"
if /i "%~1"=="-all" set "ALL=1"
set "OUT=%TEMP%\korvane-checks-%RANDOM%%RANDOM%"
mkdir "%OUT%"
if not exist "%OUT%\" exit /b 2
set /a PASSED=0, FAILED=0, SKIPPED=0, RUN=0
set "BUILDS="
set "MOVES=CodePages.TheDelimiterFollowsADoubleByteCharacter"
set "MOVING=MissingFolders.*:MovedFolders.*:%MOVES%"
for %%b in (win32 win64) do call :build %%b
if defined ALL for %%b in (win32 win64) do call :moving %%b
rd /s /q "%OUT%" 2>nul
echo %PASSED% passed, %FAILED% failed, %SKIPPED% skipped
if %FAILED% gtr 0 exit /b 1
exit /b 0

rem A build that this Windows cannot start (64-bit on 32-bit Windows) is
rem left out, and says so.
:build
"%KIT%%1\korvane.exe" /version >nul 2>&1
if errorlevel 1 (
    echo %1: this Windows cannot run it
    exit /b 0
)
set "BUILDS=%BUILDS% %1"
set "KORVANE_EXE=%KIT%%1\korvane.exe"
call :run %1 unit_tests *
call :run %1 program_tests -%MOVING%
exit /b 0

rem The rows that move folders, each build from the machine as it was: the
rem one that moves Favorites expects no other move.
:moving
echo %BUILDS% | find "%1" >nul
if errorlevel 1 exit /b 0
set "KORVANE_EXE=%KIT%%1\korvane.exe"
call :keep
call :run %1 program_tests %MOVES%
call :run %1 program_tests MissingFolders.*:MovedFolders.*
call :put_back
exit /b 0

rem One test program: its own summary counts; a program that ends without
rem one (it crashed) is one failure.
:run
set /a RUN+=1
set "LOG=%OUT%\run%RUN%.txt"
"%KIT%%1\%2.exe" "--gtest_filter=%3" >"%LOG%" 2>&1
set "STATUS=%ERRORLEVEL%"
rem for /f stops at a line longer than it takes: a failure's values.
find "[  " <"%LOG%" >"%LOG%.summary"
set /a P=0, F=0, S=0
for /f "usebackq tokens=1-5" %%a in ("%LOG%.summary") do call :count "%%b" "%%c" "%%d" "%%e" %1 %2
if %STATUS% neq 0 if %F%==0 (
    echo FAILED %1 %2: ended with status %STATUS% before its summary
    set /a F=1
)
echo %1 %2: %P% passed, %F% failed, %S% skipped
set /a PASSED+=P, FAILED+=F, SKIPPED+=S
exit /b 0

rem "[  PASSED  ] N tests." and "[  FAILED  ] N tests, listed below:" count;
rem "[  FAILED  ] Suite.Name" in the closing list names a failure.
:count
if "%~1"=="PASSED" if "%~2"=="]" set /a P+=%~3
if "%~1"=="SKIPPED" if "%~4"=="test," set /a S+=%~3
if "%~1"=="SKIPPED" if "%~4"=="tests," set /a S+=%~3
if "%~1"=="FAILED" if "%~4"=="test," set /a F+=%~3
if "%~1"=="FAILED" if "%~4"=="tests," set /a F+=%~3
if "%~1"=="FAILED" if "%~2"=="]" if "%~4"=="" echo FAILED %5 %6 %~3
exit /b 0

rem What the moving rows change: the user's shell folders and variables
rem (Wine's shell rewrites Shell Folders when it reads a moved folder),
rem OneDrive's accounts, and the folders of the profile, of its Windows
rem folders and at the top of the system drive.
:keep
set "KEYS=Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders;Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders;Environment;Software\Microsoft\OneDrive"
set /a K=0
for %%k in ("%KEYS:;=" "%") do call :keep_key %%k
call :list "%OUT%\before.txt"
exit /b 0

:keep_key
set /a K+=1
reg query "HKCU\%~1" >nul 2>&1
if errorlevel 1 (
    echo HKCU\%~1>"%OUT%\key%K%.none"
) else (
    reg export "HKCU\%~1" "%OUT%\key%K%.reg" /y >nul
)
exit /b 0

:put_back
set /a K=0
for %%k in ("%KEYS:;=" "%") do call :put_back_key %%k
call :list "%OUT%\after.txt"
for /f "usebackq delims=|" %%d in ("%OUT%\after.txt") do call :unless_before "%%d"
for /f "usebackq delims=|" %%d in ("%OUT%\before.txt") do if not exist "%%d\" mkdir "%%d"
exit /b 0

:put_back_key
set /a K+=1
reg delete "HKCU\%~1" /f >nul 2>&1
if exist "%OUT%\key%K%.reg" reg import "%OUT%\key%K%.reg" >nul 2>&1
exit /b 0

rem A folder made since is removed, with what it holds.
:unless_before
find "%~1|" "%OUT%\before.txt" >nul
if errorlevel 1 rd /s /q "%~1" 2>nul
exit /b 0

:list
type nul >%1
for /f "delims=" %%d in ('dir /b /ad "%USERPROFILE%" 2^>nul') do if /i not "%%d"=="Temp" echo %USERPROFILE%\%%d^|>>%1
for /f "delims=" %%d in ('dir /s /b /ad "%APPDATA%\Microsoft\Windows" 2^>nul') do echo %%d^|>>%1
for /f "delims=" %%d in ('dir /b /ad "%SystemDrive%\" 2^>nul') do echo %SystemDrive%\%%d^|>>%1
exit /b 0
