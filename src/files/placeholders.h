// Stand-ins for operations of the file store that is not built yet. Each answers "not
// available"; the file store's own implementation replaces them.
#pragma once

#include <cstdint>

// ---- File access and the guarded call, used by the geoid file loader -------------------------
// fsOpen (name, mode 0 read): a handle, negative on failure. Here: always -1.
int fsOpen(const char* name, int mode);
// fsRead (handle, buffer, count): the bytes read. Here: always 0.
int fsRead(int handle, void* buf, int count);
// fsSeek (handle, offset from the start): true on success. Here: always false.
bool fsSeek(int handle, std::int32_t offset);
// fsTell (handle): the position. Here: always -1.
std::int32_t fsTell(int handle);
// fsClose (handle). Here: nothing.
void fsClose(int handle);
// pcfCallSafely (function, argument): runs the function under the file store's guard; true when
// it ran. Here: false, the function is not run.
bool pcfCallSafely(void (*func)(void*), void* arg);
// ---- end of the geoid file loader's stand-ins -------------------------------------------------
