// Verbs of this layer that are served outside the parser's own grammar ("init"). Handlers see
// the part's text and the current terminal, and print into a plain text buffer.
#pragma once

class Reply;

// body: the whole part ("init,/par/"); returns a command result code.
using CmdVerbFn = int (*)(const char* body, int len, int term, char* text, int textSize);

// False when the table is full or the name is taken.
bool cmdRegisterVerb(const char* verb, CmdVerbFn fn);

// Runs the part when a registered verb serves it; the printed text goes into `re`. False when
// the part is not theirs.
bool cmdRunHooked(const char* body, int len, int term, Reply& re, int& rc);
