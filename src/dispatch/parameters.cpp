#include "dispatch/parameters.h"

#include <cstdlib>

namespace {

const unsigned long LARGEST_32 = 0xFFFFFFFFul;
const bool LONG_IS_32_BITS = sizeof(long) == 4;  // Windows: the runtime is exact

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Skips blanks and one sign; tells whether the sign was a minus.
const char *skipBlanksAndSign(const char *text, bool *negative) {
    while (isBlank(*text)) ++text;
    *negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    return text;
}

}  // namespace

// The Windows runtime saturates a magnitude beyond 32 bits and then
// negates it for a minus, so "-4294967296" reads as 1.
uint32_t parseUnsigned(const char *text, int base) {
    if (LONG_IS_32_BITS) return static_cast<uint32_t>(std::strtoul(text, nullptr, base));
    bool negative;
    const char *digits = skipBlanksAndSign(text, &negative);
    // After the sign the number must begin at once: no second sign, no blank.
    if (*digits == '-' || *digits == '+' || isBlank(*digits)) return 0;
    unsigned long magnitude = std::strtoul(digits, nullptr, base);
    uint32_t value = magnitude > LARGEST_32 ? static_cast<uint32_t>(LARGEST_32)
                                            : static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

int32_t parseLong(const char *text) {
    if (LONG_IS_32_BITS) return static_cast<int32_t>(std::atol(text));
    bool negative;
    const char *p = skipBlanksAndSign(text, &negative);
    uint32_t total = 0;
    for (; *p >= '0' && *p <= '9'; ++p) total = total * 10 + static_cast<uint32_t>(*p - '0');
    return static_cast<int32_t>(negative ? 0u - total : total);
}
