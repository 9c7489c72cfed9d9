// File access of the log store: files in the log directory `.gnss.log` of the run directory,
// reached through small integer handles, and the guard under which the store's users run.
#pragma once

#include <cstdint>

inline constexpr const char* kLogDir = ".gnss.log";
inline constexpr int kFsMaxHandles = 16;
inline constexpr int kFsMaxName = 64;

enum FsMode : int {
  FS_READ = 0,    // existing file, from its start
  FS_WRITE = 1,   // created or emptied
  FS_APPEND = 2,  // created when missing, written at its end
};

// True when `name` may name a file of the store: 1..63 characters of letters, digits and
// "._-+", not starting with a dot.
bool pcfCheckName(const char* name);

// Opens a file of the store; a handle, negative on failure (bad name, no such file, no handle).
int fsOpen(const char* name, int mode);
// Reads up to `count` bytes; the count read, 0 at the end, negative on error.
int fsRead(int handle, void* buf, int count);
// Writes `count` bytes; the count written, negative on error.
int fsWrite(int handle, const void* buf, int count);
// Moves to `offset` bytes from the start; true on success.
bool fsSeek(int handle, std::int32_t offset);
// The position, -1 for a bad handle.
std::int32_t fsTell(int handle);
void fsClose(int handle);

// Runs `func` under the store's guard (one user of the store at a time); true when it ran.
bool pcfCallSafely(void (*func)(void*), void* arg);
