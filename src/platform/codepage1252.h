// Code page 1252, in which PRINT's escapes give their bytes on every
// platform: bytes 00-7F and A0-FF are the code points of the same value,
// 80-9F the characters of the table below.
#pragma once

#include <cstdint>

const int WINDOWS_1252_HIGH_FIRST = 0x80;  // the table's first byte
const int WINDOWS_1252_HIGH_END = 0xA0;    // ... and the one after its last

// 80-9F, where 1252 differs from Latin-1, as Windows converts them: the
// five bytes that 1252 leaves undefined (81, 8D, 8F, 90, 9D) stand for the
// C1 controls of the same value.
inline constexpr uint16_t Windows1252High[WINDOWS_1252_HIGH_END - WINDOWS_1252_HIGH_FIRST] = {
    //  +0      +1      +2      +3      +4      +5      +6      +7
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98
};
