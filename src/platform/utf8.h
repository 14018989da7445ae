// The form of a UTF-8 sequence, for the platforms that read PRINT's
// literal text as UTF-8: a UTF-8 terminal's locale, and the Windows
// command line, which start-up turns into UTF-8.
#pragma once

#include <cstdint>

// The length of the sequence that `lead` begins, 2 to 4; 0 for an ASCII
// byte and a continuation byte (10xxxxxx), which begin none.
inline int utf8Length(uint8_t lead) {
    if (lead < 0xC0) return 0;
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The code point of the `length` bytes at `bytes`, as a well-formed
// sequence would give it: the lead byte's low bits, then six bits from
// each continuation byte.
inline uint32_t utf8CodePoint(const uint8_t *bytes, int length) {
    uint32_t c = bytes[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) c = c << 6 | (bytes[i] & 0x3F);
    return c;
}
