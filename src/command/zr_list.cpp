#include "command/zr_list.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "command/result_codes.h"

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t'; }

char* trim(char* b, char* e) {
  while (b < e && isSpace(*b)) ++b;
  while (e > b && isSpace(e[-1])) --e;
  *e = 0;
  return b;
}
}  // namespace

bool ZRNamedNode::getInt(long long& v) const {
  if (kind() != LEAF) return false;
  const char* t = text();
  if (!*t) return false;
  errno = 0;
  char* end = nullptr;
  long long r = std::strtoll(t, &end, 0);
  if (errno != 0 || end == t || *end) return false;
  v = r;
  return true;
}

bool ZRNamedNode::getDouble(double& v) const {
  if (kind() != LEAF) return false;
  const char* t = text();
  if (!*t) return false;
  errno = 0;
  char* end = nullptr;
  double r = std::strtod(t, &end);
  if (errno != 0 || end == t || *end || !std::isfinite(r)) return false;
  v = r;
  return true;
}

int ZRNamedNode::size() const { return isList() ? static_cast<const ZRListNode*>(this)->count_ : 0; }

const ZRNamedNode* ZRNamedNode::at(int i) const {
  if (!isList()) return nullptr;
  const ZRListNode& l = *static_cast<const ZRListNode*>(this);
  if (i < 0 || i >= l.count_) return nullptr;
  const ZRNamedNode* n = l.first_;
  while (i-- > 0 && n) n = n->next();
  return n;
}

void ZRListNode::add(ZRNamedNode* n) {
  n->next_ = nullptr;
  if (last_) {
    last_->next_ = n;
  } else {
    first_ = n;
  }
  last_ = n;
  ++count_;
}

void ZRList::reset() {
  root_ = ZRListNode();
  nLeaves_ = nStrs_ = nEmpties_ = nLists_ = nTotal_ = 0;
}

ZRNamedNode* ZRList::newLeaf(const char* text, bool quoted) {
  if (nTotal_ >= kMaxNodes) return nullptr;
  ++nTotal_;
  if (quoted) {
    ZRStrNode* n = &strs_[nStrs_++];
    *n = ZRStrNode();
    n->text_ = text;
    return n;
  }
  ZRLeafNode* n = &leaves_[nLeaves_++];
  *n = ZRLeafNode();
  n->text_ = text;
  return n;
}

ZRNamedNode* ZRList::newEmpty() {
  if (nTotal_ >= kMaxNodes) return nullptr;
  ++nTotal_;
  ZREmptyNode* n = &empties_[nEmpties_++];
  *n = ZREmptyNode();
  return n;
}

ZRListNode* ZRList::newList() {
  if (nTotal_ >= kMaxNodes) return nullptr;
  ++nTotal_;
  ZRListNode* n = &lists_[nLists_++];
  *n = ZRListNode();
  return n;
}

const char* ZRList::textAt(int i) const {
  const ZRNamedNode* n = at(i);
  return n ? n->text() : "";
}

// Items separated by commas up to the end of text (depth 0) or up to and including the closing
// brace (depth > 0). Texts are terminated in place, so each delimiter is read before it is
// overwritten.
int ZRList::parseItems(char*& p, ZRListNode* into, int depth) {
  if (depth > 0) {
    while (isSpace(*p)) ++p;
    if (*p == '}') {  // "{}": a list without elements
      *p++ = 0;
      return 0;
    }
  }
  for (;;) {
    while (isSpace(*p)) ++p;
    const char* name = "";
    if (depth > 0) {
      // "name=value" inside braces: a name runs up to '=' with no delimiter before it.
      char* q = p;
      while (*q && *q != '=' && *q != ',' && *q != '{' && *q != '}' && *q != '"') ++q;
      if (*q == '=') {
        name = trim(p, q);
        p = q + 1;
        while (isSpace(*p)) ++p;
      }
    }
    ZRNamedNode* node = nullptr;
    char delim;
    if (*p == '{') {
      if (depth + 1 > kMaxDepth) return CMD_SYNTAX;
      ZRListNode* l = newList();
      if (!l) return CMD_TOO_LONG;
      ++p;
      int rc = parseItems(p, l, depth + 1);
      if (rc) return rc;
      node = l;
      while (isSpace(*p)) ++p;
      delim = *p;
    } else if (*p == '"') {
      char* b = ++p;
      while (*p && *p != '"') ++p;
      if (*p != '"') return CMD_SYNTAX;
      *p++ = 0;
      node = newLeaf(b, true);
      while (isSpace(*p)) ++p;
      delim = *p;
    } else {
      char* b = p;
      while (*p && *p != ',' && *p != '}' && *p != '{' && *p != '"') ++p;
      delim = *p;
      if (delim == '{' || delim == '"') return CMD_SYNTAX;
      char* t = trim(b, p);
      node = *t ? newLeaf(t, false) : newEmpty();
    }
    if (!node) return CMD_TOO_LONG;
    node->name_ = name;
    into->add(node);
    if (delim == ',') {
      *p++ = 0;
      continue;
    }
    if (delim == 0) return depth == 0 ? 0 : CMD_SYNTAX;
    if (delim == '}' && depth > 0) {
      *p++ = 0;
      return 0;
    }
    return CMD_SYNTAX;
  }
}

int ZRList::parse(const char* text, int len) {
  reset();
  if (!text || len < 0) return CMD_SYNTAX;
  if (len > kMaxText) return CMD_TOO_LONG;
  std::memcpy(text_, text, static_cast<std::size_t>(len));
  text_[len] = 0;
  if (std::memchr(text_, 0, static_cast<std::size_t>(len))) return CMD_SYNTAX;
  char* p = text_;
  return parseItems(p, &root_, 0);
}
