// Categorised diagnostics: a line of category c goes to the debug port, standard error, when
// bit c of the 32-bit mask is set; category -1 always prints.
#pragma once

#include <cstdint>

extern std::uint32_t debMask;

void debPrintfx(int category, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
