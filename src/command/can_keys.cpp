#include "command/can_keys.h"

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "platform/ports/sock_can_port.h"
#include "settings/rcv_settings.h"

namespace {

// Port and direction being printed (the parser runs one command at a time).
CanState g_state{};
int g_dir = 0;  // 0 input, 1 output

int countWord(int dir) { return dir == 0 ? CAN_W_IN_CNT : CAN_W_OUT_CNT; }
int firstWord(int dir) { return dir == 0 ? CAN_W_IN_FIRST : CAN_W_OUT_FIRST; }

// The range first .. first + count - 1 must stay a standard identifier.
bool rangeFits(std::uint32_t first, std::uint32_t count) { return first + count - 1 <= kCanStdIdMax; }

int setSid(CanState& s, int dir, const char* key, const ZRNamedNode* v) {
  std::uint32_t& cnt = s.w[countWord(dir)];
  std::uint32_t& first = s.w[firstWord(dir)];
  std::uint32_t n = 0;
  if (std::strcmp(key, "cnt") == 0) {
    if (int rc = setInt(v, n, 1, kCanIdCountMax)) return rc;
    if (!rangeFits(first, n)) return CMD_OUT_OF_RANGE;
    cnt = n;
    return CMD_OK;
  }
  if (std::strcmp(key, "first") == 0) {
    if (int rc = setInt(v, n, 0, kCanStdIdMax)) return rc;
    if (!rangeFits(n, cnt)) return CMD_OUT_OF_RANGE;
    first = n;
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int setKey(CanState& s, const char* key, const ZRNamedNode* v) {
  if (std::strcmp(key, "rate") == 0) {
    std::uint32_t r = 0;
    if (int rc = setInt(v, r, 1, 1000000)) return rc;
    if (!canCheckBaudRate(r)) return CMD_OUT_OF_RANGE;
    s.w[CAN_W_RATE] = r;
    return CMD_OK;
  }
  if (std::strncmp(key, "sid/in/", 7) == 0) return setSid(s, 0, key + 7, v);
  if (std::strncmp(key, "sid/out/", 8) == 0) return setSid(s, 1, key + 8, v);
  return CMD_WRONG_1ST;
}

int dirPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "cnt")) rc = reLong(re, static_cast<long>(g_state.w[countWord(g_dir)]));
  if (strcmpA(p, "first")) rc = reLong(re, static_cast<long>(g_state.w[firstWord(g_dir)]));
  return rc;
}

int sidPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "in")) {
    g_dir = 0;
    rc = reSub(dirPrint, r, re);
  }
  if (const char* r = strncmpA(p, "out")) {
    g_dir = 1;
    rc = reSub(dirPrint, r, re);
  }
  return rc;
}

}  // namespace

int canKeysSet(const char* path, const ZRNamedNode* value) {
  if (std::strncmp(path, "can/", 4) != 0) return CMD_WRONG_1ST;
  const char letter = path[4];
  if ((letter != 'a' && letter != 'b') || path[5] != '/') return CMD_WRONG_1ST;
  const int can = letter - 'a';
  CanState s = canGetState(can);
  if (int rc = setKey(s, path + 6, value)) return rc;
  RcvSet.can[can] = s;
  canSetState(can, s, 0);
  return CMD_OK;
}

int canKeysPrint(int can, const char* p, Reply& re) {
  if (can < 0 || can >= kCanPortCount) return CMD_WRONG_1ST;
  g_state = canGetState(can);
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "rate")) rc = reLong(re, static_cast<long>(g_state.w[CAN_W_RATE]));
  if (const char* r = strncmpA(p, "sid")) rc = reSub(sidPrint, r, re);
  return rc;
}

void canKeysDefaults() {
  for (int can = 0; can < kCanPortCount; ++can) {
    const CanState def = canGetStateDef();
    const CanState cur = canGetState(can);
    if (std::memcmp(&def, &cur, sizeof def) != 0) canSetState(can, def, 0);
  }
}
