// Opening the files the program reads at start and now and then (settings image, board
// settings, identity, clock) without ever blocking: a FIFO, a device or a directory in the place
// of one of them would otherwise stop the caller in open or read for good. Such a thing is
// refused, and the caller goes on as for a missing file.
#pragma once

#include <cstdio>

enum class FileOpen { Ok, Missing, NotRegular, Unreadable };

// Opens `path` for reading: the descriptor, or -1 with the reason in `why` (errno kept from the
// failed call for Missing and Unreadable).
int openRegular(const char* path, FileOpen& why);

// What went wrong, for a diagnostic: "missing", "not a regular file", "unreadable".
const char* fileOpenText(FileOpen why);

// The same as a stdio stream. Anything but a missing file is said in one line
// "$$<who>: <path> not a regular file: ignored" or "$$<who>: <path> unreadable (<reason>): ignored".
std::FILE* fopenRegular(const char* path, const char* who);
