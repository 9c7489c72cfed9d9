#include "command/param_engine.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "command/result_codes.h"
#include "command/values.h"
#include "settings/debug_selectors.h"

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

// The node whose subtree is being printed: an area's prefix, a level above areas, or "" for the
// whole tree (the parser runs one command at a time).
constexpr int kMaxPrefix = 64;
char g_node[kMaxPrefix] = "";

const Area* exactArea(const char* prefix) {
  for (int i = 0; i < g_areaCount; ++i)
    if (std::strcmp(g_areas[i].prefix, prefix) == 0) return &g_areas[i];
  return nullptr;
}

// An area that prints in the listing of a subtree above it.
bool listedArea(const Area& a) { return a.print != nullptr && a.listed; }

// The name of the level below `node` on the road to area `a` ("" for the root node), into
// `name`; false when `a` does not lie below `node`.
bool childName(const char* node, const Area& a, char* name, std::size_t size) {
  const std::size_t n = std::strlen(node);
  const char* rest = a.prefix;
  if (n > 0) {
    rest = below(a.prefix, node, static_cast<int>(n));
    if (rest == nullptr || *rest == 0) return false;
  }
  std::size_t len = 0;
  while (rest[len] != 0 && rest[len] != '/') ++len;
  if (len == 0 || len >= size) return false;
  std::memcpy(name, rest, len);
  name[len] = 0;
  return true;
}

bool hasListedBelow(const char* node) {
  char name[kMaxPrefix];
  for (int i = 0; i < g_areaCount; ++i)
    if (listedArea(g_areas[i]) && childName(node, g_areas[i], name, sizeof name)) return true;
  return false;
}

// Enumerates node g_node: the keys of its own area (the top-level keys for the root), then each
// level below it that holds listed areas, once, in the order the first such area was added.
// A level whose own area is not listed is left out with everything below it.
int nodePrint(const char*, Reply& re) {
  char node[kMaxPrefix];
  std::memcpy(node, g_node, sizeof node);
  const bool root = node[0] == 0;
  if (!root) {
    if (const Area* own = exactArea(node); own != nullptr && own->print != nullptr) own->print("", re);
  }
  char done[kMaxAreas][24];
  int nDone = 0;
  for (int i = 0; i < g_areaCount; ++i) {
    char name[24];
    if (!listedArea(g_areas[i]) || !childName(node, g_areas[i], name, sizeof name)) continue;
    bool seen = false;
    for (int k = 0; k < nDone && !seen; ++k) seen = std::strcmp(done[k], name) == 0;
    if (seen) continue;
    std::memcpy(done[nDone++], name, sizeof name);
    char child[kMaxPrefix];
    const int n = std::snprintf(child, sizeof child, "%s%s%s", node, root ? "" : "/", name);
    if (n <= 0 || n >= static_cast<int>(sizeof child)) continue;
    // A level whose own area prints only when named keeps its subtree out of the listing.
    if (const Area* a = exactArea(child); a != nullptr && !listedArea(*a)) continue;
    emitName(name);
    std::memcpy(g_node, child, sizeof child);
    reSub(nodePrint, "", re);
  }
  std::memcpy(g_node, node, sizeof node);
  if (root) doPrint("", re);
  return CMD_OK;
}

// Prints node `prefix` with the levels below it.
int printNode(const char* prefix, Reply& re) {
  const int n = std::snprintf(g_node, sizeof g_node, "%s", prefix);
  if (n < 0 || n >= static_cast<int>(sizeof g_node)) return CMD_WRONG_1ST;
  return reSub(nodePrint, "", re);
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
  if (!*path) return printNode("", re);
  const char* rest = "";
  const Area* a = route(path, &rest);
  // An area as a whole lists the areas below it too; so does a level that only holds areas.
  if (hasListedBelow(path)) return printNode(path, re);
  if (a) return reSub(a->print, rest, re);
  return reSub(doPrint, path, re);
}

// The keys of the top level. `dbi` is the global debug selector: diagnostics of several parts
// print, or act, at fixed values of it (the Allan monitor at 7000-7099, the time scales at 5822
// and 6355, the USB storage at 73528 and 73529). Like the RTK debug selectors it lives for the
// process only, so that no start comes up printing or forcing; it prints only when named.
int topcSet(const char* path, const ZRNamedNode* value) {
  if (std::strcmp(path, "dbi") == 0) return setInt(value, dbi, INT_MIN, INT_MAX);
  return CMD_WRONG_1ST;
}
int doPrint(const char* path, Reply& re) {
  if (std::strcmp(path, "dbi") == 0) return reLong(re, dbi);
  return *path ? CMD_WRONG_1ST : CMD_OK;
}
