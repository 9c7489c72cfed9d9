#include "command/cmd_hooks.h"

#include <cstring>

#include "command/reply.h"

namespace {

constexpr int kMaxVerbs = 8;
constexpr int kMaxName = 15;

struct Verb {
  char name[kMaxName + 1];
  CmdVerbFn fn;
};
Verb g_verbs[kMaxVerbs];
int g_nVerbs = 0;

// Printed text of a hooked handler (parser task only).
char g_text[kReplyMaxBody + 1];

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
  return false;
}
