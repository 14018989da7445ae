@echo off
rem colors.bat - conx COLOR sets the colour of what the script prints next.
rem The attribute is hexadecimal: background digit, then foreground digit.
rem conx is taken from the CONX variable, else from the PATH:
rem   set CONX=C:\tools\conx.exe
setlocal
if not defined CONX set CONX=conx
rem PRINT draws at rows of the screen buffer: start from a clear screen.
cls
%CONX% COLOR 1F
echo  White on blue  (COLOR 1F)
%CONX% COLOR 0E
echo  Yellow         (COLOR 0E)
%CONX% COLOR 4F
echo  White on red   (COLOR 4F)
%CONX% COLOR 0A
echo  Bright green   (COLOR 0A)
%CONX% COLOR 07
echo  Back to grey   (COLOR 07)
