#include "gnss_link/wrapped/azrt_keys.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/wrapped/azrt_params.h"

namespace {

constexpr const char* kIndexNames[AzrtParamSet::kCount] = {"0", "1", "2"};

int indexOf(const char* p) {
  for (int i = 0; i < AzrtParamSet::kCount; ++i)
    if (std::strcmp(p, kIndexNames[i]) == 0) return i;
  return -1;
}

int readParams(const ZRNamedNode* v, AzrtParams& out) {
  if (v == nullptr || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isList() || v->size() != 3) return CMD_WRONG_2ND;
  AzrtParams p = AzrtParams::resetValue();
  if (int rc = setInt(v->at(0), p.id, AzrtParams::kMinId, AzrtParams::kMaxId)) return rc;
  if (int rc = setInt(v->at(1), p.mode, 0, AzrtParams::kMaxMode)) return rc;
  const ZRNamedNode* port = v->at(2);
  if (port != nullptr && port->isText() && std::strcmp(port->text(), "+") == 0) {
    p.port = AzrtParams::kSelf;
  } else {
    int index = 0;
    if (int rc = setPort(port, index)) return rc;
    p.port = static_cast<std::uint8_t>(index);
  }
  out = p;
  return CMD_OK;
}

int azrtSet(int decPort, const char* path, const ZRNamedNode* v) {
  const int index = indexOf(path);
  if (index < 0) return CMD_WRONG_1ST;
  AzrtParams p{};
  if (int rc = readParams(v, p)) return rc;
  return AzrtNV::set(decPort, index, p) ? CMD_OK : CMD_WRONG_1ST;
}

// Decoder port of the print being run (the parser runs one command at a time).
int g_decPort = 0;

int paramPrint(const char* path, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < AzrtParamSet::kCount; ++i) {
    if (!strcmpA(path, kIndexNames[i])) continue;
    const AzrtParams p = AzrtNV::get(g_decPort, i);
    char text[48];
    const char* port = p.port == AzrtParams::kSelf ? "+" : iopGetName(p.port);
    std::snprintf(text, sizeof text, "{%d,%u,%s}", p.id, static_cast<unsigned>(p.mode), port);
    re.put(text);
    rc = CMD_OK;
  }
  return rc;
}

int azrtPrint(int decPort, const char* path, Reply& re) {
  g_decPort = decPort;
  return paramPrint(path, re);
}

template <int D>
int setOf(const char* path, const ZRNamedNode* v) {
  return azrtSet(D, path, v);
}
template <int D>
int printOf(const char* path, Reply& re) {
  return azrtPrint(D, path, re);
}

struct Handlers {
  ParSetFn set;
  ParPrintFn print;
};
template <int... D>
constexpr auto handlerTable(std::integer_sequence<int, D...>) {
  return std::array<Handlers, sizeof...(D)>{Handlers{setOf<D>, printOf<D>}...};
}
constexpr auto kHandlers = handlerTable(std::make_integer_sequence<int, AzrtNV::kPorts>{});

char g_prefixes[AzrtNV::kPorts][32];

}  // namespace

bool registerAzrtArea() {
  bool ok = true;
  for (int d = 0; d < AzrtNV::kPorts; ++d) {
    const int n = std::snprintf(g_prefixes[d], sizeof g_prefixes[d], "%s/wrap", iopGetName(InPorts::dec2io_[d]));
    if (n <= 0 || n >= static_cast<int>(sizeof g_prefixes[d])) return false;
    // Printed when named, not in the print of the whole tree beside the port's other keys.
    ok = parRegisterArea(g_prefixes[d], kHandlers[d].set, kHandlers[d].print, false) && ok;
  }
  return ok;
}
