// Verbs and print trees that other layers serve (the output manager's "em" and "dm" and its
// "/msg" tree). Handlers see the part's text and the current terminal, and print into a plain
// text buffer, so that layers below this one can provide them; src/main registers them.
#pragma once

class Reply;

// body: the whole part ("em,,zrt/RT:1"); returns a command result code.
using CmdVerbFn = int (*)(const char* body, int len, int term, char* text, int textSize);
// path: the print target as written ("/msg/dev/ser/a"); returns a command result code.
using CmdTreeFn = int (*)(const char* path, int term, char* text, int textSize);

// False when the table is full or the name is taken.
bool cmdRegisterVerb(const char* verb, CmdVerbFn fn);
bool cmdRegisterPrintTree(const char* prefix, CmdTreeFn fn);

// Runs the part when a registered verb or print tree serves it; the printed text goes into
// `re`. False when the part is not theirs.
bool cmdRunHooked(const char* body, int len, int term, Reply& re, int& rc);
