// C runtime work for the terminal and the in-memory console; see runtime.h.
#include "platform/runtime.h"

#include <cstdarg>
#include <cstdio>

#include "platform/console.h"

namespace {

const int REPORT_CAPACITY = 256;  // the longest report, line end included

}  // namespace

void console::printOut(const char *format, ...) {
    char text[REPORT_CAPACITY];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) return;
    writeReport(text, length < REPORT_CAPACITY ? length : REPORT_CAPACITY - 1);
}

// _strupr in the C locale: a-z to A-Z, every other byte as it is.
void console::upperCaseInPlace(char *text) {
    for (; *text; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}
