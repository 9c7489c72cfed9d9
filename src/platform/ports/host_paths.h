// Where an absolute system path lives: unchanged on the target, re-rooted under host/ of the
// run directory on the host.
#pragma once

#include <cstddef>

// Writes the path for `abs` into out (size n) and returns out.
const char* rxHostPath(const char* abs, char* out, std::size_t n);
