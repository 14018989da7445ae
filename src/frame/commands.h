// The command handlers: each reads argumentVector itself and checks the
// argument count it needs (program and keyword included).
#pragma once

void printCommand();     // PRINT row column attribute text [attribute text]...
void colorCommand();     // COLOR attribute
void locateCommand();    // LOCATE row column
void mouseCommand();     // MOUSE
void inputHitCommand();  // INPUTHIT mode
void timeCommand();      // TIME
void sleepCommand();     // SLEEP milliseconds
void cursorCommand();    // CURSOR setting
void fontCommand();      // FONT index

// Key reader: both store a key code in exitCode.
void readKey();          // KBD: waits for a keystroke
void pollKey();          // _KBD: homes the cursor, reads a key only if one waits
