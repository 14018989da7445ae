// TIME and SLEEP.
#include "dispatch/parameters.h"

#include "dispatch/commands.h"
#include "dispatch/program.h"
#include "platform/console.h"

// Prints day of week, year, month, day, hour, minute, second, milliseconds.
void timeCommand() {
    DateTime t = console::localTime();
    console::printOut("%d %d %d %d %d %d %d %d", t.dayOfWeek, t.year, t.month, t.day, t.hour,
                      t.minute, t.second, t.milliseconds);
}

// A negative count would be an endless wait to the platform: it waits not at all.
void sleepCommand() {
    int32_t milliseconds = parseLong(argumentVector[2]);
    if (milliseconds >= 0) console::sleepMilliseconds(static_cast<uint32_t>(milliseconds));
}
