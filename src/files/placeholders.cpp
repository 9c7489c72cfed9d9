#include "files/placeholders.h"

// ---- File access and the guarded call, used by the geoid file loader -------------------------
int fsOpen(const char*, int) { return -1; }
int fsRead(int, void*, int) { return 0; }
bool fsSeek(int, std::int32_t) { return false; }
std::int32_t fsTell(int) { return -1; }
void fsClose(int) {}
bool pcfCallSafely(void (*)(void*), void*) { return false; }
// ---- end of the geoid file loader's stand-ins -------------------------------------------------
