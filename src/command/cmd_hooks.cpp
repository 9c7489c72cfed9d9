#include "command/cmd_hooks.h"

#include <cstring>

#include "command/reply.h"
#include "command/result_codes.h"

namespace {

constexpr int kMaxVerbs = 8;
constexpr int kMaxTrees = 4;
constexpr int kMaxName = 15;

struct Verb {
  char name[kMaxName + 1];
  CmdVerbFn fn;
};
struct Tree {
  char prefix[kMaxName + 1];
  CmdTreeFn fn;
};
Verb g_verbs[kMaxVerbs];
Tree g_trees[kMaxTrees];
int g_nVerbs = 0;
int g_nTrees = 0;

// Printed text of a hooked handler (parser task only).
char g_text[kReplyMaxBody + 1];

// The path of "print,PATH" or "get,PATH", or "" when the part is no print.
int printTarget(const char* body, int len, char* out, int size) {
  int v = 0;
  while (v < len && body[v] != ',') ++v;
  if (!((v == 5 && std::strncmp(body, "print", 5) == 0) || (v == 3 && std::strncmp(body, "get", 3) == 0)))
    return 0;
  int b = v + 1;
  int e = b;
  while (e < len && body[e] != ',') ++e;
  while (b < e && body[b] == ' ') ++b;
  while (e > b && body[e - 1] == ' ') --e;
  if (b >= len || e - b >= size) return 0;
  std::memcpy(out, body + b, static_cast<std::size_t>(e - b));
  out[e - b] = 0;
  return e - b;
}

bool underPrefix(const char* path, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  return std::strncmp(path, prefix, n) == 0 && (path[n] == 0 || path[n] == '/');
}

}  // namespace

bool cmdRegisterVerb(const char* verb, CmdVerbFn fn) {
  if (!verb || !fn || g_nVerbs >= kMaxVerbs || std::strlen(verb) > kMaxName) return false;
  for (int i = 0; i < g_nVerbs; ++i) {
    if (std::strcmp(g_verbs[i].name, verb) == 0) return false;
  }
  std::strcpy(g_verbs[g_nVerbs].name, verb);
  g_verbs[g_nVerbs++].fn = fn;
  return true;
}

bool cmdRegisterPrintTree(const char* prefix, CmdTreeFn fn) {
  if (!prefix || !fn || g_nTrees >= kMaxTrees || std::strlen(prefix) > kMaxName) return false;
  std::strcpy(g_trees[g_nTrees].prefix, prefix);
  g_trees[g_nTrees++].fn = fn;
  return true;
}

bool cmdRunHooked(const char* body, int len, int term, Reply& re, int& rc) {
  int v = 0;
  while (v < len && body[v] != ',') ++v;
  g_text[0] = 0;
  for (int i = 0; i < g_nVerbs; ++i) {
    if (static_cast<int>(std::strlen(g_verbs[i].name)) == v &&
        std::strncmp(g_verbs[i].name, body, static_cast<std::size_t>(v)) == 0) {
      rc = g_verbs[i].fn(body, len, term, g_text, sizeof g_text);
      re.put(g_text);
      return true;
    }
  }
  char path[256];
  if (g_nTrees == 0 || printTarget(body, len, path, sizeof path) == 0) return false;
  for (int i = 0; i < g_nTrees; ++i) {
    if (underPrefix(path, g_trees[i].prefix)) {
      rc = g_trees[i].fn(path, term, g_text, sizeof g_text);
      if (rc == CMD_OK) re.put(g_text);
      return true;
    }
  }
  return false;
}
