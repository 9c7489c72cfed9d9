#include <cstring>
#include <strings.h>

#include "command/values.h"
#include "platform/ports/in_port.h"

int curTermNum();

namespace {
int needText(const ZRNamedNode* v) {
  if (!v || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isText()) return CMD_WRONG_2ND;
  return CMD_OK;
}

// Index of `word` in a keyword list "a,b:c" (':' joins synonyms); -1 when absent.
int keywordIndex(const char* word, const char* keywords) {
  std::size_t wl = std::strlen(word);
  int index = 0;
  const char* p = keywords;
  while (*p) {
    const char* e = p;
    while (*e && *e != ',' && *e != ':') ++e;
    if (static_cast<std::size_t>(e - p) == wl && strncasecmp(p, word, wl) == 0) return index;
    if (*e == ',') ++index;
    p = *e ? e + 1 : e;
  }
  return -1;
}
}  // namespace

int setIntImpl(const ZRNamedNode* v, long long& out, long long min, long long max) {
  if (int rc = needText(v)) return rc;
  long long x = 0;
  if (!v->getInt(x)) return CMD_WRONG_2ND;
  if (x < min || x > max) return CMD_OUT_OF_RANGE;
  out = x;
  return CMD_OK;
}

int setBool(const ZRNamedNode* v, bool& dst) {
  int i = 0;
  if (int rc = setEnum(v, i, "no:n:off,yes:y:on")) return rc;
  dst = i == 1;
  return CMD_OK;
}

int setBool(const ZRNamedNode* v, std::uint8_t& dst) {
  bool b = false;
  if (int rc = setBool(v, b)) return rc;
  dst = b ? 1 : 0;
  return CMD_OK;
}

int setEnum(const ZRNamedNode* v, int& dst, const char* keywords) {
  if (int rc = needText(v)) return rc;
  int i = keywordIndex(v->text(), keywords ? keywords : "");
  if (i < 0) return CMD_WRONG_2ND;
  dst = i;
  return CMD_OK;
}

int setString(const ZRNamedNode* v, char* dst, std::size_t dstSize, int minLen, int maxLen) {
  if (!v) return CMD_2ND_MISSED;
  if (!v->isText() && !v->isEmpty()) return CMD_WRONG_2ND;
  const char* t = v->text();
  std::size_t n = std::strlen(t);
  if (v->isEmpty() && minLen > 0) return CMD_2ND_MISSED;
  if (static_cast<long long>(n) < minLen || static_cast<long long>(n) > maxLen || n + 1 > dstSize)
    return CMD_OUT_OF_RANGE;
  std::memcpy(dst, t, n + 1);
  return CMD_OK;
}

int setDouble(const ZRNamedNode* v, double& dst, double min, double max) {
  if (int rc = needText(v)) return rc;
  double x = 0;
  if (!v->getDouble(x)) return CMD_WRONG_2ND;
  if (x < min || x > max) return CMD_OUT_OF_RANGE;
  dst = x;
  return CMD_OK;
}

int setFloat(const ZRNamedNode* v, float& dst, double min, double max) {
  double x = 0;
  if (int rc = setDouble(v, x, min, max)) return rc;
  dst = static_cast<float>(x);
  return CMD_OK;
}

int setBits64(const ZRNamedNode* v, std::uint64_t& dst, std::uint64_t allowed) {
  if (!v || v->isEmpty()) return CMD_2ND_MISSED;
  std::uint64_t bits = 0;
  auto take = [&](const ZRNamedNode* n) {
    long long b = 0;
    if (!n || !n->getInt(b)) return CMD_WRONG_2ND;
    if (b < 0 || b > 63 || !(allowed & (std::uint64_t{1} << b))) return CMD_OUT_OF_RANGE;
    bits |= std::uint64_t{1} << b;
    return CMD_OK;
  };
  if (v->isList()) {
    for (const ZRNamedNode* n = v->at(0); n; n = n->next()) {
      if (n->isEmpty()) continue;
      if (int rc = take(n)) return rc;
    }
  } else if (int rc = take(v)) {
    return rc;
  }
  dst = bits;
  return CMD_OK;
}

int setPort(const ZRNamedNode* v, int& dst) {
  if (int rc = needText(v)) return rc;
  const char* t = v->text();
  if (*t == '/') ++t;
  int idx = std::strcmp(t, "cur/term") == 0 ? curTermNum() : iopFind(t);
  if (idx < 0 || idx >= IOP_NULL) return CMD_WRONG_2ND;
  dst = idx;
  return CMD_OK;
}
