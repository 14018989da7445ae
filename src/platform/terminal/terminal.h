// The Unix console: a VT/xterm terminal driven through termios. What the
// layer's files share:
//   tty.cpp     the tty's settings, the terminal's descriptors, signals
//   input.cpp   the input queue: bytes read, decoded (vtinput.cpp)
//   typeback.cpp  what a run read and did not use, typed back into the tty
//   screen.cpp  cells, cursor, colour and font, encoded by vtoutput.cpp
//               (vtoutput.h lists every sequence conx sends)
//   main.cpp    the entry: the run, its reports, its exit status; the clock
// The screen is standard output when it is a terminal (otherwise screen
// operations do nothing); input is standard input when it is a terminal of
// which this process is in the foreground (otherwise event operations fail).
#pragma once

#include <signal.h>
#include <stddef.h>
#include <termios.h>

#include "platform/terminal/vtoutput.h"

// ---- The terminal (tty.cpp) -----------------------------------------------------------

const int NO_FD = -1;

// The terminal the run belongs to, for the signal handlers too.
struct Control {
    int fd;           // standard input if a terminal, else standard output if one
    int writeFd;      // that terminal, writable (mouse and focus sequences)
    bool foreground;  // the run began in its foreground process group
};

struct Tty {
    termios found;     // the terminal as this run found it
    termios resting;   // what to leave it in (INPUTHIT changes this)
    termios applied;   // what this run last set
    bool known;        // input is a terminal in the foreground, settings read
    bool checked;      // `known` has been worked out
    bool raw;          // raw mode is applied right now
    bool signalsKept;  // raw mode lets Ctrl+C and Ctrl+\ signal (MOUSE)
    bool foreign;      // not this process's controlling terminal: its
                       // Ctrl+C signals others (setsid)
    bool shared;       // found in raw mode: another conx is reading
    bool mouseOn;      // this run switched mouse reporting on
    bool focusOn;      // ... and focus reporting
};

extern Control control;                // the terminal, for the handlers
extern Tty tty;                        // the tty's settings and modes
extern Charset charset;                // what the terminal's bytes mean
extern bool screenIsTerminal;          // standard output is a terminal
extern volatile sig_atomic_t resized;  // SIGWINCH came

// The descriptors, the character set and the signal handlers, before any
// command runs.
void prepareTerminal();

// Writes every byte, going on after interruptions and waiting while the
// descriptor takes no more; false on an error (in a signal handler, also
// when the terminal takes nothing for a while).
bool writeAll(int fd, const char *bytes, size_t length);

// Mouse and focus reporting belong to the terminal standard input is.
// False when there is none to write to, or it takes nothing.
bool writeInputTerminal(const char *text);

// Milliseconds of a clock that only goes forward (safe in a signal handler).
long long monotonicMs();

// The screen's size; the input terminal's when the screen is redirected.
void screenSize(int *columns, int *rows);

// Reads the settings once; false when input is no terminal of ours.
bool loadSettings();

// Raw mode on, if the settings are known and it is not on yet. True when
// it was switched on just now.
bool enterRawMode();

// Applies raw mode or the resting settings, whichever is due.
void applySettings();

// Raw mode off: the resting settings back, if they are still this run's.
void leaveRawMode();

// The settings an INPUTHIT leaves for its loop: echo and line editing off.
// Its focus reporting is then taken to be on.
bool leftByInputHit(const termios &t);

// A run that found another conx reading (raw mode) looks again while it
// waits: when that one has given the terminal back, this one takes the
// settings given back as the ones it found and applies raw mode again.
void takeUpChangedSettings();

// Ends the run as the signal would: the terminal given back, then the
// signal raised with its default action.
void endBySignal(int signalNumber);

// ---- The input queue (input.cpp) ------------------------------------------------------

// Types back what the run read and did not use, for the next command.
void typeBackUnused();

// ---- Typing back (typeback.cpp) -------------------------------------------------------

// Types `bytes` back into the tty ahead of what waits there, if the kernel
// lets it and they fit.
void typeBack(const uint8_t *bytes, int length);

// ---- The screen (screen.cpp) ----------------------------------------------------------

// A PRINT drew a frame this run: input is left alone.
bool frameDrawn();

// Writes the report to standard output, waiting for a terminal slow to take
// it; false when it could not be written (true when there is none).
bool sendReport();
