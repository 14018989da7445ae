@echo off
rem menu.bat - a framed menu drawn with conx PRINT; the keys come from conx KBD.
rem   Up/Down (or 1, 2, 3) move the bar, Enter chooses, Esc or q leaves.
rem   The exit code is the number of the chosen entry (0 when left).
rem PRINT reads a key that is already waiting and gives it as its exit code,
rem so a key typed while the menu is being drawn is taken from PRINT.
rem conx is taken from the CONX variable, else from the PATH:
rem   set CONX=C:\tools\conx.exe
setlocal
if not defined CONX set CONX=conx
rem PRINT draws at rows of the screen buffer: start from a clear screen.
cls
set sel=1

:draw
set a1=1F
set a2=1F
set a3=1F
set a%sel%=70
%CONX% PRINT 2 10 1F "+----------------------+\n|      conx  menu      |\n+----------------------+\n| " %a1% " Start a new game   " 1F " |\n| " %a2% " Load a saved game  " 1F " |\n| " %a3% " Quit               " 1F " |\n+----------------------+" 08 "\n\nUp/Down or 1-3, Enter chooses, Esc or q leaves"
set key=%errorlevel%
if not %key%==0 goto handle

:key
%CONX% KBD
set key=%errorlevel%

:handle
if %key%==327 goto up
if %key%==335 goto down
if %key%==49 (set sel=1& goto draw)
if %key%==50 (set sel=2& goto draw)
if %key%==51 (set sel=3& goto draw)
if %key%==13 goto choose
if %key%==27 goto leave
rem Ctrl+C is a key (3) while KBD waits: it leaves too.
if %key%==3 goto leave
if %key%==113 goto leave
goto key

:up
set /a sel-=1
if %sel%==0 set sel=3
goto draw

:down
set /a sel+=1
if %sel%==4 set sel=1
goto draw

:choose
%CONX% LOCATE 13 0
if %sel%==1 echo You chose: Start a new game
if %sel%==2 echo You chose: Load a saved game
if %sel%==3 echo You chose: Quit
exit /b %sel%

:leave
%CONX% LOCATE 13 0
echo Left without choosing.
exit /b 0
