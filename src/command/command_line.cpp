#include "command/command_line.h"

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t'; }

int hexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void trim(const char*& b, const char*& e) {
  while (b < e && isSpace(*b)) ++b;
  while (e > b && isSpace(e[-1])) --e;
}
}  // namespace

std::uint8_t cmdChecksum(const char* text, int len) {
  std::uint8_t c = 0;
  for (int i = 0; i < len; ++i) {
    c = static_cast<std::uint8_t>(c ^ static_cast<std::uint8_t>(text[i]));
    c = static_cast<std::uint8_t>((c << 2) | (c >> 6));
  }
  return c;
}

int cmdSplitLine(const char* line, int len, CmdPart* parts, int max) {
  int n = 0;
  CmdJoin join = CmdJoin::Always;
  const char* start = line;
  bool quoted = false;
  int i = 0;
  auto emit = [&](const char* end, CmdJoin next) {
    const char* b = start;
    const char* e = end;
    trim(b, e);
    if (e > b) {
      if (n < max) parts[n++] = CmdPart{b, static_cast<int>(e - b), join};
      join = next;
    } else if (next != CmdJoin::Always) {
      join = next;
    }
  };
  for (; i < len; ++i) {
    char c = line[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (c == '#') break;
    if (c == ';') {
      emit(line + i, CmdJoin::Always);
      start = line + i + 1;
    } else if ((c == '&' || c == '|') && i + 1 < len && line[i + 1] == c) {
      emit(line + i, c == '&' ? CmdJoin::OnSuccess : CmdJoin::OnFailure);
      ++i;
      start = line + i + 1;
    }
  }
  emit(line + i, CmdJoin::Always);
  return n;
}

CmdPartHead cmdPartHead(const char* text, int len) {
  CmdPartHead h{nullptr, 0, text, len, false, false};
  const char* b = text;
  const char* e = text + len;
  // "@hh" at the very end, outside quotes (a quote count before it tells).
  if (len >= 3 && e[-3] == '@' && hexVal(e[-2]) >= 0 && hexVal(e[-1]) >= 0) {
    int quotes = 0;
    for (const char* p = b; p < e - 3; ++p) quotes += *p == '"';
    if (quotes % 2 == 0) {
      h.hasChecksum = true;
      int want = hexVal(e[-2]) * 16 + hexVal(e[-1]);
      h.checksumOk = cmdChecksum(b, static_cast<int>(e - 3 - b)) == want;
      e -= 3;
    }
  }
  if (e > b && *b == '%') {
    const char* p = b + 1;
    while (p < e && p - b - 1 <= kMaxIdLen && *p != '%' && !isSpace(*p) && *p != ',' && *p != '"')
      ++p;
    if (p < e && *p == '%' && p - b - 1 <= kMaxIdLen) {
      h.id = b + 1;
      h.idLen = static_cast<int>(p - b - 1);
      b = p + 1;
    }
  }
  trim(b, e);
  h.body = b;
  h.bodyLen = static_cast<int>(e - b);
  return h;
}
