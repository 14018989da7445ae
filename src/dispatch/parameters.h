// Parameters are read as the Windows C runtime reads them, where long is
// 32 bits, on every platform: leading blanks and a sign are accepted,
// reading stops at the first character that does not fit, no digits give 0.
#pragma once

#include <cstdint>

// strtoul: a magnitude beyond 32 bits gives 0xFFFFFFFF; a minus then
// negates it.
uint32_t parseUnsigned(const char *text, int base);

// atol: decimal, wrapping at 32 bits.
int32_t parseLong(const char *text);
