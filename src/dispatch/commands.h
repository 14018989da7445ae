// The commands, one row each: the only list of them. Dispatch finds the
// keyword here and runs the row's handler; the Unix program's --help
// prints the usage and summary columns; the fuzz target, the unit tests
// and the documentation checks (tests/commands.py) read the rest. A new
// command is a row here and its handler.
#pragma once

// Parameters after the keyword. With any other number the command does
// nothing; ANY_PARAMETERS: it takes what it finds (PRINT draws nothing
// with fewer than three but still polls the keyboard).
const int ANY_PARAMETERS = -1;

// What a command may change or use besides the exit code. The tests check
// that a run changes nothing else.
enum CommandEffect : unsigned {
    DRAWS = 1u << 0,            // screen cells
    MOVES_CURSOR = 1u << 1,
    SHAPES_CURSOR = 1u << 2,    // size and visibility
    SETS_COLOR = 1u << 3,       // the attribute of later text
    SETS_FONT = 1u << 4,
    SETS_INPUT_MODE = 1u << 5,
    TAKES_EVENTS = 1u << 6,     // input events off the queue
    TAKES_KEYS = 1u << 7,
    PRINTS = 1u << 8,           // a report on standard output
    SLEEPS = 1u << 9,
    KEY_IS_RESULT = 1u << 10,   // the key code read is the command's whole result
};

// clang-format off
#define CONX_COMMANDS(ROW) \
/*  keyword     handler          parameters      effects                                                          usage                             summary */ \
ROW("PRINT",    printCommand,    ANY_PARAMETERS, DRAWS | MOVES_CURSOR | TAKES_KEYS,                               "row column attribute text [...]", "draw text in colour at row, column") \
ROW("COLOR",    colorCommand,    1,              SETS_COLOR,                                                      "attribute",                       "set the colour of later text") \
ROW("LOCATE",   locateCommand,   2,              MOVES_CURSOR,                                                    "row column",                      "move the cursor") \
ROW("_KBD",     pollKey,         ANY_PARAMETERS, MOVES_CURSOR | TAKES_KEYS | KEY_IS_RESULT,                       "",                                "home the cursor, read a waiting key") \
ROW("KBD",      readKey,         ANY_PARAMETERS, TAKES_KEYS | KEY_IS_RESULT,                                      "",                                "wait for a key: its code is the result") \
ROW("MOUSE",    mouseCommand,    ANY_PARAMETERS, TAKES_EVENTS | PRINTS,                                           "",                                "wait for a click: row column buttons") \
ROW("INPUTHIT", inputHitCommand, ANY_PARAMETERS, SETS_INPUT_MODE | TAKES_EVENTS | TAKES_KEYS | PRINTS | SLEEPS,   "mode",                            "report a key or click (mode 1 waits)") \
ROW("TIME",     timeCommand,     ANY_PARAMETERS, PRINTS,                                                          "",                                "print the local date and time") \
ROW("SLEEP",    sleepCommand,    1,              SLEEPS,                                                          "milliseconds",                    "pause") \
ROW("CURSOR",   cursorCommand,   1,              SHAPES_CURSOR,                                                   "setting",                         "hide 0, show 1, size 25, 50, 100") \
ROW("FONT",     fontCommand,     1,              SETS_FONT,                                                       "index",                           "select a font by its index")
// clang-format on

// The handlers. Each takes its parameters from argumentVector itself.
#define CONX_DECLARE_HANDLER(keyword, handler, ...) void handler();
CONX_COMMANDS(CONX_DECLARE_HANDLER)
#undef CONX_DECLARE_HANDLER

// Every column of a row, for the code that needs more than dispatch does
// (--help, the tests). Nothing in the Windows program reads it, so it costs
// that program no bytes.
struct CommandRow {
    const char *keyword;
    void (*handler)();
    int parameters;     // after the keyword, or ANY_PARAMETERS
    unsigned effects;   // CommandEffect bits
    const char *usage;  // the parameters as --help shows them
    const char *summary;
};

#define CONX_ROW(keyword, handler, parameters, effects, usage, summary) \
    {keyword, handler, parameters, effects, usage, summary},
inline constexpr CommandRow COMMAND_ROWS[] = {CONX_COMMANDS(CONX_ROW)};
#undef CONX_ROW
inline constexpr int COMMAND_COUNT = sizeof COMMAND_ROWS / sizeof COMMAND_ROWS[0];
