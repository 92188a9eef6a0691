@echo off
rem Runs korvane's own tests on this Windows, against the korvane.exe of each
rem build beside them, for each build this Windows can run:
rem   check.cmd          changes nothing on this machine (files in %TEMP% alone)
rem   check.cmd /all     also moves, removes and makes folders, and puts back
rem                      what it changed: for a throwaway machine
rem   check.cmd /restore only puts back what an interrupted /all left moved
rem The last line is "N passed, M failed, K skipped"; the status is 0 only
rem when nothing failed and every build this Windows must run ran, and 2
rem when /all could not keep a copy of what it would move, and moved nothing. Only
rem find and for /f read the results (Wine's findstr finds nothing), both
rem from System32 whatever PATH holds, and no line chains commands with &&
rem or || (Wine's cmd runs what follows either way). Windows' cmd expands
rem %%VAR%% when it reads a whole ( ... ) block, so a ")" in a path (the
rem profile of an account named "A (B)") ends the block there: inside a
rem block every path stands in quotes (Wine's cmd does not show this).
setlocal enableextensions
rem GTEST_REPEAT, GTEST_SHARD_INDEX and the like would change the counts.
call :clear_gtest 2>nul
set "KIT=%~dp0"
set "FIND=%SystemRoot%\System32\find.exe"
set "REG=%SystemRoot%\System32\reg.exe"
set "ALL="
set "RESTORE="
if /i "%~1"=="/all" set "ALL=1"
if /i "%~1"=="-all" set "ALL=1"
if /i "%~1"=="/restore" set "RESTORE=1"
if /i "%~1"=="-restore" set "RESTORE=1"
set "BACKUP=%TEMP%\korvane-checks-backup"
set "LOGS=%TEMP%\korvane-checks-logs"
set /a PASSED=0, FAILED=0, SKIPPED=0, RUN=0, BUILDS=0
set "NOT_RUN="
set "RAN="
set "PUT_BACK="
set "PUT_BACK_FAILED="
set "UNKEPT="
if defined RESTORE goto :restore
if exist "%BACKUP%\ready" goto :copies_found
rd /s /q "%BACKUP%" 2>nul
rd /s /q "%LOGS%" 2>nul
mkdir "%LOGS%"
if not exist "%LOGS%\" exit /b 2
set "MOVES=CodePages.TheDelimiterFollowsADoubleByteCharacter"
set "MOVING=MissingFolders.*:MovedFolders.*:%MOVES%"
call :builds_to_run
for %%b in (win32 win64) do call :build %%b
if %BUILDS%==0 (
    echo FAILED: no build ran
    set /a FAILED+=1
)
if defined ALL if %BUILDS% gtr 0 call :all_builds
if %FAILED% gtr 0 echo the logs are kept in %LOGS%
if %FAILED%==0 rd /s /q "%LOGS%" 2>nul
if defined NOT_RUN (
    echo %PASSED% passed, %FAILED% failed, %SKIPPED% skipped; not run:%NOT_RUN%
) else (
    echo %PASSED% passed, %FAILED% failed, %SKIPPED% skipped
)
if defined UNKEPT exit /b 2
if %FAILED% gtr 0 exit /b 1
exit /b 0

rem Copies of an interrupted /all: the keys may have changed since (a new
rem OneDrive sign-in, a folder moved), so they go back only when asked.
:copies_found
for %%f in ("%BACKUP%\ready") do set "MADE=%%~tf"
echo an interrupted check.cmd /all left copies of the user's shell folders and OneDrive keys, made %MADE%, in %BACKUP%
echo nothing was run: check.cmd /restore puts them back; deleting that folder keeps this machine as it is
exit /b 2

:restore
if exist "%BACKUP%\" call :put_back "an interrupted run"
if defined PUT_BACK_FAILED exit /b 2
if defined PUT_BACK (
    echo put back
) else (
    echo nothing to put back
)
exit /b 0

:clear_gtest
for /f "delims==" %%v in ('set GTEST_') do set "%%v="
exit /b 0

rem x86 and Windows 10 on ARM run the 32-bit build alone; x64, and ARM64
rem from Windows 11 (build 22000), run both. A 32-bit cmd on 64-bit Windows
rem sees the machine in PROCESSOR_ARCHITEW6432. for /f runs its command
rem through cmd /c, which strips the first and last quote of a line that
rem begins with one: reg's path, which has no spaces, stands bare.
:builds_to_run
set "ARCH=%PROCESSOR_ARCHITEW6432%"
if not defined ARCH set "ARCH=%PROCESSOR_ARCHITECTURE%"
set "MUST= win32 "
if /i "%ARCH%"=="AMD64" set "MUST= win32 win64 "
if /i not "%ARCH%"=="ARM64" exit /b 0
set "WINDOWS_BUILD=0"
for /f "tokens=3" %%n in ('%REG% query "HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v CurrentBuildNumber 2^>nul') do set "WINDOWS_BUILD=%%n"
if %WINDOWS_BUILD% geq 22000 set "MUST= win32 win64 "
exit /b 0

rem A build this Windows must run, missing or unable to start (a blocked
rem korvane.exe), is a failure; one that KORVANE_CHECKS_SKIP names is not
rem run, and the last line says so.
:build
set "SKIP= %KORVANE_CHECKS_SKIP% "
call set "REST=%%SKIP:%1=%%"
if not "%REST%"=="%SKIP%" (
    echo %1: skipped, as KORVANE_CHECKS_SKIP says
    set "NOT_RUN=%NOT_RUN% %1"
    exit /b 0
)
call set "REST=%%MUST: %1 =%%"
if "%REST%"=="%MUST%" (
    echo %1: this Windows cannot run it
    exit /b 0
)
if not exist "%KIT%%1\korvane.exe" (
    echo FAILED %1: korvane.exe is missing
    set /a FAILED+=1
    exit /b 0
)
"%KIT%%1\korvane.exe" /version >nul 2>&1
if errorlevel 1 (
    echo FAILED %1: korvane.exe does not start on this Windows
    set /a FAILED+=1
    exit /b 0
)
set /a BUILDS+=1
set "RAN=%RAN% %1"
set "KORVANE_EXE=%KIT%%1\korvane.exe"
call :run %1 unit_tests *
call :run %1 program_tests -%MOVING%
exit /b 0

rem The rows that move folders, each build from the machine as it was: the
rem one that moves Favorites expects no other move. Nothing moves before
rem every key has a copy, or is shown absent.
:all_builds
call :keep
if not errorlevel 1 goto :all_kept
echo FAILED: the keys could not be kept in %BACKUP%, so nothing was moved
rd /s /q "%BACKUP%" 2>nul
set /a FAILED+=1
set "UNKEPT=1"
exit /b 0
:all_kept
for %%b in (%RAN%) do call :moving %%b
call :put_back "the moving tests"
if defined PUT_BACK_FAILED set /a FAILED+=1
exit /b 0

:moving
set "KORVANE_EXE=%KIT%%1\korvane.exe"
call :run %1 program_tests %MOVES%
call :run %1 program_tests MissingFolders.*:MovedFolders.*
call :put_back_keys
exit /b 0

rem One test program: its own summary counts; a program that ends without
rem one (it crashed, or is no test program) is one failure, and a failing
rem program's log is shown.
:run
set /a RUN+=1
set "LOG=%LOGS%\%1-%2-%RUN%.txt"
"%KIT%%1\%2.exe" "--gtest_filter=%3" >"%LOG%" 2>&1
set "STATUS=%ERRORLEVEL%"
rem for /f stops at a line longer than it takes: a failure's values.
"%FIND%" "[  " <"%LOG%" >"%LOG%.summary"
set /a P=0, F=0, S=0
set "SUMMARY="
for /f "usebackq tokens=1-5" %%a in ("%LOG%.summary") do call :count "%%b" "%%c" "%%d" "%%e" %1 %2
if not defined SUMMARY if %F%==0 (
    echo FAILED %1 %2: ended with status %STATUS% and no summary
    set /a F=1
)
if %STATUS% neq 0 if %F%==0 (
    echo FAILED %1 %2: ended with status %STATUS% after its summary
    set /a F=1
)
echo %1 %2: %P% passed, %F% failed, %S% skipped
if %F% gtr 0 type "%LOG%"
set /a PASSED+=P, FAILED+=F, SKIPPED+=S
exit /b 0

rem "[  PASSED  ] N tests." and "[  FAILED  ] N tests, listed below:" count;
rem "[  FAILED  ] Suite.Name" in the closing list names a failure.
:count
if "%~1"=="PASSED" if "%~2"=="]" set "SUMMARY=1"
if "%~1"=="PASSED" if "%~2"=="]" set /a P+=%~3
if "%~1"=="SKIPPED" if "%~4"=="test," set /a S+=%~3
if "%~1"=="SKIPPED" if "%~4"=="tests," set /a S+=%~3
if "%~1"=="FAILED" if "%~4"=="test," set /a F+=%~3
if "%~1"=="FAILED" if "%~4"=="tests," set /a F+=%~3
if "%~1"=="FAILED" if "%~2"=="]" if "%~4"=="" echo FAILED %5 %6 %~3
exit /b 0

rem What the moving rows change in the registry: the user's shell folders
rem (Wine's shell rewrites Shell Folders when it reads a moved folder) and
rem OneDrive's accounts, each as "parent;name". Each is exported, or shown
rem absent by its parent's list of keys, into one folder of a fixed name,
rem which any later run finds.
:keep
rd /s /q "%BACKUP%" 2>nul
mkdir "%BACKUP%"
if not exist "%BACKUP%\" exit /b 1
echo keeping the user's shell folders and OneDrive keys in %BACKUP%
set /a K=0, KEPT=0
for %%k in ("Software\Microsoft\Windows\CurrentVersion\Explorer;User Shell Folders" "Software\Microsoft\Windows\CurrentVersion\Explorer;Shell Folders" "Software\Microsoft;OneDrive") do call :keep_key %%k
if %KEPT% neq 3 exit /b 1
call :made before
type nul >"%BACKUP%\ready"
exit /b 0

:keep_key
set /a K+=1
for /f "tokens=1* delims=;" %%p in (%1) do (
    set "PARENT=%%p"
    set "NAME=%%q"
)
"%REG%" export "HKCU\%PARENT%\%NAME%" "%BACKUP%\key%K%.reg" /y >nul 2>&1
if not errorlevel 1 if exist "%BACKUP%\key%K%.reg" goto :kept
del "%BACKUP%\key%K%.reg" 2>nul
rem reg answers 1 for an absent key and for other failures alike.
"%REG%" query "HKCU\%PARENT%" >"%BACKUP%\parent.txt" 2>nul
if errorlevel 1 exit /b 0
set "LISTED="
for /f "usebackq delims=" %%l in ("%BACKUP%\parent.txt") do if /i "%%l"=="HKEY_CURRENT_USER\%PARENT%\%NAME%" set "LISTED=1"
if defined LISTED exit /b 0
:kept
echo HKCU\%PARENT%\%NAME%>"%BACKUP%\key%K%.name"
set /a KEPT+=1
exit /b 0

:put_back
if not exist "%BACKUP%\ready" (
    rd /s /q "%BACKUP%" 2>nul
    exit /b 0
)
if not "%~1"=="the moving tests" echo putting back what %~1 moved, from %BACKUP%
set "PUT_BACK=1"
call :put_back_keys
call :made after
if not defined PUT_BACK_FAILED goto :all_put_back
echo FAILED: not all could be put back; the copies stay in %BACKUP%
exit /b 0
:all_put_back
rd /s /q "%BACKUP%"
exit /b 0

:put_back_keys
for %%k in (1 2 3) do call :put_back_key %%k
exit /b 0

rem A key is deleted only where it has a copy, or was shown absent.
:put_back_key
if not exist "%BACKUP%\key%1.name" exit /b 0
for /f "usebackq delims=" %%n in ("%BACKUP%\key%1.name") do set "KEY=%%n"
"%REG%" delete "%KEY%" /f >nul 2>&1
if not exist "%BACKUP%\key%1.reg" exit /b 0
"%REG%" import "%BACKUP%\key%1.reg" >nul 2>&1
if errorlevel 1 set "PUT_BACK_FAILED=1"
exit /b 0

rem The folders the moving tests make, listed here alone, deepest first.
rem Before the run, each one missing is noted; after it, each noted one is
rem removed, with a desktop.ini that /create wrote where that is all it
rem holds, and nothing else: one that was there before, or that holds
rem anything more, stays, whole, and is named.
:made
type nul >>"%BACKUP%\missing.txt"
for %%f in ("%SystemDrive%\OneDrive - Fabrikam\Downloads" "%SystemDrive%\OneDrive - Fabrikam" "%SystemDrive%\korvane-missing" "%SystemDrive%\korvane-not-made\SendTo" "%SystemDrive%\korvane-not-made" "%APPDATA%\Microsoft\Windows\Templates") do call :made_%1 "%%~f"
exit /b 0

:made_before
if not exist "%~1\" echo ^<%~1^>>>"%BACKUP%\missing.txt"
exit /b 0

:made_after
if not exist "%~1\" exit /b 0
"%FIND%" "<%~1>" "%BACKUP%\missing.txt" >nul 2>&1
if not errorlevel 1 goto :made_by_tests
echo kept, as it was there before the run: %~1
exit /b 0
:made_by_tests
set "MORE="
for /f "delims=" %%n in ('dir /a /b "%~1" 2^>nul') do if /i not "%%n"=="desktop.ini" set "MORE=1"
if not defined MORE del /q /a:hs "%~1\desktop.ini" >nul 2>&1
rd "%~1" 2>nul
if exist "%~1\" echo kept, as it holds more than the tests made: %~1
exit /b 0
