// Cutting a command line into parts: ';' separates, '#' ends the line, "&&" and "||" run the
// next part on success or on failure, quoted text stays whole. Each part may begin with an
// "%id%" that names its reply and end with "@hh", an 8-bit checksum of the text before it.
#pragma once

#include <cstdint>

enum class CmdJoin : std::uint8_t { Always, OnSuccess, OnFailure };

struct CmdPart {
  const char* text;  // trimmed part, not terminated
  int len;
  CmdJoin join;      // how this part follows the one before it
};

// Splits `line` into at most `max` parts; returns the count (parts beyond max are dropped).
// Empty parts are skipped. The "&&" or "||" before an empty part carries over to the next one.
int cmdSplitLine(const char* line, int len, CmdPart* parts, int max);

// The checksum of the native format: c = rotate-left-by-2 of (c XOR byte), from 0, in 8 bits.
std::uint8_t cmdChecksum(const char* text, int len);

struct CmdPartHead {
  const char* id;   // between the percent signs; null without an id
  int idLen;
  const char* body; // verb and arguments
  int bodyLen;
  bool hasChecksum;
  bool checksumOk;
};

// Takes the "%id%" prefix and the "@hh" suffix off a part. An id is at most kMaxIdLen
// characters without percent signs, spaces or separators; anything else is no id.
constexpr int kMaxIdLen = 64;
CmdPartHead cmdPartHead(const char* text, int len);
