#include "command/result_codes.h"

namespace {
const char* const kTexts[CMD_LAST + 1] = {
    "",                         // 0
    ",wrong command",           // 1
    ",wrong checksum",          // 2
    ",wrong 1st parameter",     // 3
    ",1st parameter missed",    // 4
    ",value out of range",      // 5
    ",2nd parameter missed",    // 6
    ",wrong 2nd parameter",     // 7
    ",syntax error",            // 8
    ",wrong 3rd parameter",     // 9
    ",3rd parameter missed",    // 10
    ",too many parameters",     // 11
    ",read only",               // 12
    ",busy",                    // 13
    ",reply too long",          // 14
    ",file not found",          // 15
    ",file error",              // 16
    ",no such message",         // 17
    ",wrong period",            // 18
    ",wrong port",              // 19
    ",port busy",               // 20
    ",not available",           // 21
    ",timeout",                 // 22
    ",access denied",           // 23
    ",wrong password",          // 24
    ",no data",                 // 25
    ",wrong format",            // 26
    ",already exists",          // 27
    ",list full",               // 28
    ",not found",               // 29
    ",wrong id",                // 30
    ",not allowed now",         // 31
    ",storage full",            // 32
    ",wrong time",              // 33
    ",command too long",        // 34
    ",wrong name",              // 35
    ",no memory",               // 36
    ",internal error",          // 37
    ",unknown error",           // 38
};
}  // namespace

const char* cmdErrorText(int code) {
  if (code < 0 || code > CMD_LAST) return kTexts[CMD_LAST];
  return kTexts[code];
}
