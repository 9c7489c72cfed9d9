// The parameter tree under /par/: each area has a handler pair xxxcSet/xxxcPrint, found by the
// longest registered prefix of the path; paths of no area go to the top-level pair
// topcSet/doPrint. Handlers match path components with strcmpA (a whole name) and strncmpA
// (a subtree). Printing a subtree calls its handler with an empty path: the engine then
// enumerates, every match writes its "name=" and the subtree comes out as "{a=1,b=2}". Areas nest:
// the print of an area (or of a level that only holds areas, or of the whole tree) lists the
// areas below it after its own keys, each as the subtree of its next path component.
#pragma once

#include "command/reply.h"
#include "command/zr_list.h"

using ParSetFn = int (*)(const char* path, const ZRNamedNode* value);
using ParPrintFn = int (*)(const char* path, Reply& re);

// Adds an area (prefix without slashes at its ends, e.g. "rcv" or "pos/pd"); false when the
// table is full or the prefix is taken. An area not `listed` prints only when named: the prints
// of the levels above it leave it out, with what lies below it (a built-in table rather than
// settings).
bool parRegisterArea(const char* prefix, ParSetFn set, ParPrintFn print, bool listed = true);

// Whole-name match of a path component. While enumerating (an empty text during a print) it
// writes the separator and "name=" and matches every name.
bool strcmpA(const char* text, const char* name);
// Subtree match: text is `name` or begins with `name/`. Returns the rest of the path ("" for the
// subtree itself), or null. While enumerating it writes "name=" and returns "".
const char* strncmpA(const char* text, const char* name);
// Prints the subtree `fn` serves: braces around the enumeration when `rest` is empty.
int reSub(ParPrintFn fn, const char* rest, Reply& re);
// True while a print enumerates.
bool parListing();

// Runs a set or a print of a /par/ path (the part after "/par/", no trailing slash).
int parSet(const char* path, const ZRNamedNode* value);
int parPrint(const char* path, Reply& re);

// Top-level handlers: keys that belong to no area.
int topcSet(const char* path, const ZRNamedNode* value);
int doPrint(const char* path, Reply& re);
