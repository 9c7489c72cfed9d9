#include "command/param_engine.h"

#include <cstring>

#include "command/result_codes.h"

namespace {

struct Area {
  const char* prefix;
  int len;
  ParSetFn set;
  ParPrintFn print;
  bool listed;
};

constexpr int kMaxAreas = 64;
Area g_areas[kMaxAreas];
int g_areaCount = 0;

// Enumeration state of the print being run (the parser runs one command at a time).
constexpr int kMaxDepth = 16;
struct Listing {
  Reply* re = nullptr;
  int depth = 0;  // brace levels open
  bool comma[kMaxDepth + 1] = {};
};
Listing g_list;

void emitName(const char* name) {
  Reply& re = *g_list.re;
  if (g_list.comma[g_list.depth]) re.put(',');
  g_list.comma[g_list.depth] = true;
  re.put(name);
  re.put('=');
}

// Rest of `path` below `prefix` ("" for the prefix itself), null when it does not lie there.
const char* below(const char* path, const char* prefix, int len) {
  if (std::strncmp(path, prefix, static_cast<std::size_t>(len)) != 0) return nullptr;
  if (path[len] == 0) return path + len;
  if (path[len] == '/') return path + len + 1;
  return nullptr;
}

const Area* route(const char* path, const char** rest) {
  const Area* best = nullptr;
  for (int i = 0; i < g_areaCount; ++i) {
    const char* r = below(path, g_areas[i].prefix, g_areas[i].len);
    if (r && (!best || g_areas[i].len > best->len)) {
      best = &g_areas[i];
      *rest = r;
    }
  }
  return best;
}

// Print of the whole tree: every top-level area, then the top-level keys.
int printAll(const char*, Reply& re) {
  for (int i = 0; i < g_areaCount; ++i) {
    const Area& a = g_areas[i];
    if (!a.print || !a.listed || std::strchr(a.prefix, '/')) continue;
    emitName(a.prefix);
    reSub(a.print, "", re);
  }
  doPrint("", re);
  return CMD_OK;
}

}  // namespace

bool parRegisterArea(const char* prefix, ParSetFn set, ParPrintFn print, bool listed) {
  if (!prefix || !*prefix || g_areaCount >= kMaxAreas) return false;
  for (int i = 0; i < g_areaCount; ++i) {
    if (std::strcmp(g_areas[i].prefix, prefix) == 0) return false;
  }
  g_areas[g_areaCount++] = Area{prefix, static_cast<int>(std::strlen(prefix)), set, print, listed};
  return true;
}

bool parListing() { return g_list.re != nullptr; }

bool strcmpA(const char* text, const char* name) {
  if (!text || !name) return false;
  if (*text) return std::strcmp(text, name) == 0;
  if (!parListing()) return false;
  emitName(name);
  return true;
}

const char* strncmpA(const char* text, const char* name) {
  if (!text || !name) return nullptr;
  if (*text) return below(text, name, static_cast<int>(std::strlen(name)));
  if (!parListing()) return nullptr;
  emitName(name);
  return text;
}

int reSub(ParPrintFn fn, const char* rest, Reply& re) {
  if (!fn) return CMD_WRONG_1ST;
  if (*rest) {
    // A named leaf or a deeper subtree: no enumeration at this level.
    Reply* saved = g_list.re;
    g_list.re = nullptr;
    int rc = fn(rest, re);
    g_list.re = saved;
    return rc;
  }
  if (g_list.depth >= kMaxDepth) return CMD_REPLY_TOO_LONG;
  Reply* saved = g_list.re;
  g_list.re = &re;
  re.put('{');
  ++g_list.depth;
  g_list.comma[g_list.depth] = false;
  fn("", re);
  --g_list.depth;
  re.put('}');
  g_list.re = saved;
  return CMD_OK;
}

int parSet(const char* path, const ZRNamedNode* value) {
  const char* rest = "";
  const Area* a = route(path, &rest);
  if (a && a->set) return a->set(rest, value);
  if (a) return CMD_WRONG_1ST;
  return topcSet(path, value);
}

int parPrint(const char* path, Reply& re) {
  g_list = Listing();
  if (!*path) return reSub(printAll, "", re);
  const char* rest = "";
  const Area* a = route(path, &rest);
  if (a) return reSub(a->print, rest, re);
  return reSub(doPrint, path, re);
}

// No keys of the top level yet: later areas add theirs here.
int topcSet(const char*, const ZRNamedNode*) { return CMD_WRONG_1ST; }
int doPrint(const char* path, Reply&) { return *path ? CMD_WRONG_1ST : CMD_OK; }
