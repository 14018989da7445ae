@echo off
rem events.bat - takes conx's reports apart with for /f: the clock (TIME),
rem one mouse click (MOUSE) and the next keyboard or mouse event (INPUTHIT 1).
rem conx is taken from the CONX variable, else from the PATH:
rem   set CONX=C:\tools\conx.exe
setlocal
if not defined CONX set CONX=conx
rem PRINT draws at rows of the screen buffer: start from a clear screen.
cls

for /f "tokens=1-8" %%a in ('%CONX% TIME') do (
    set dow=%%a
    set year=%%b
    set month=%%c
    set day=%%d
    set hour=%%e
    set minute=%%f
    set second=%%g
    set ms=%%h
)
echo Date: %year%-%month%-%day% (day %dow% of the week, 0 is Sunday)
echo Time: %hour%:%minute%:%second%.%ms%

echo Click somewhere...
for /f "tokens=1-3" %%a in ('%CONX% MOUSE') do (
    set mrow=%%a
    set mcol=%%b
    set mbuttons=%%c
)
set mname=both
if "%mbuttons%"=="1" set mname=left
if "%mbuttons%"=="2" set mname=right
if "%mbuttons%"=="4" set mname=middle
echo Click: row %mrow%, column %mcol%, %mname% button

echo Press a key or use the mouse...
rem INPUTHIT 1 wakes on every input event: the release of the click above,
rem a key let go (-1 -1 -1 0), a bare move (buttons 0). Skip those: wait for
rem a key, a button, the wheel or a focus change.
:next
set hrow=
set hbuttons=
set hkey=
for /f "tokens=1-4" %%a in ('%CONX% INPUTHIT 1') do (
    set hrow=%%a
    set hcol=%%b
    set hbuttons=%%c
    set hkey=%%d
)
if "%hkey%"=="0" if "%hbuttons%"=="0" goto next
if "%hkey%"=="0" if "%hbuttons%"=="-1" goto next
if "%hrow%"=="-2" (
    echo Event: focus change
) else if not "%hkey%"=="0" (
    echo Event: key %hkey%
) else if "%hrow%"=="-1" (
    echo Event: wheel, button state %hbuttons%
) else (
    echo Event: mouse at row %hrow%, column %hcol%, buttons %hbuttons%
)
