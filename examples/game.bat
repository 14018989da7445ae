@echo off
rem game.bat - a small game loop: each frame PRINTs the @, polls the keyboard
rem and mouse with INPUTHIT 0 (no waiting) and paces itself with SLEEP.
rem   w a s d move the @, a click puts it where you clicked, q quits.
rem PRINT reads a key that is already waiting and gives it as its exit code,
rem so the frame takes its key from the PRINTs first, then from INPUTHIT.
rem conx is taken from the CONX variable, else from the PATH:
rem   set CONX=C:\tools\conx.exe
setlocal
if not defined CONX set CONX=conx
rem PRINT draws at rows of the screen buffer: start from a clear screen.
cls
set x=5
set y=3
set moves=0
set frames=0
%CONX% CURSOR 0
%CONX% PRINT 1 1 1F "+------------------------------+\n|                              |\n|                              |\n|                              |\n|                              |\n|                              |\n|                              |\n|                              |\n|                              |\n+------------------------------+" 08 "\nw a s d or a click moves the @, q quits"
set held=%errorlevel%

:frame
set /a frames+=1
if %frames% gtr 60 goto over
%CONX% PRINT %y% %x% 1E @
set key=%errorlevel%
if "%key%"=="0" set key=%held%
set held=0
set btn=0
if not "%key%"=="0" goto move
for /f "tokens=1-4" %%a in ('%CONX% INPUTHIT 0') do (
    set row=%%a
    set col=%%b
    set btn=%%c
    set key=%%d
)
:move
set nx=%x%
set ny=%y%
if "%key%"=="113" goto over
rem After INPUTHIT, Ctrl+C is a key (3), not a break: it ends the game too.
if "%key%"=="3" goto over
if "%key%"=="119" set /a ny=y-1
if "%key%"=="115" set /a ny=y+1
if "%key%"=="97" set /a nx=x-1
if "%key%"=="100" set /a nx=x+1
if "%btn%"=="1" (
    set nx=%col%
    set ny=%row%
)
if %nx% lss 2 set nx=2
if %nx% gtr 31 set nx=31
if %ny% lss 2 set ny=2
if %ny% gtr 9 set ny=9
if "%nx% %ny%"=="%x% %y%" goto wait
%CONX% PRINT %y% %x% 1F " "
set held=%errorlevel%
set x=%nx%
set y=%ny%
set /a moves+=1
:wait
%CONX% SLEEP 50
goto frame

:over
rem Keys still waiting would go to cmd's prompt: INPUTHIT throws them away.
%CONX% INPUTHIT 0 >nul
%CONX% CURSOR 1
%CONX% LOCATE 13 0
echo Game over: %moves% moves, the @ rests at row %y%, column %x%.
