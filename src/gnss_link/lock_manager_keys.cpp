// The /par/lock/ keys: the lock settings as a user sets and prints them. Satellite masks are
// 64-bit numbers (bit n-1 for satellite n), printed in hex and taken in hex ("0x...") or decimal.
//
//   state                 locking state 0..3: 0 off, 1 settled, 2 lock every satellite, 3 none
//                         (2 and 3 act at once and leave 1)
//   sysen                 system enable mask, bit per system 0..7 (0..255)
//   budget                channel budget limit, 144..268
//   overlap               guided satellites also searched independently (on/off)
//   sw/<name>             signal switches: pcode, gpsp, glop, l2ca, l5, e5a, e5b, e6, glol3, lex
//   <sys>/sats            satellites of the system searched at all (any 64-bit mask)
//   gps/phase3, bds/phase3, qzss/phase3
//                         read only: the satellites of the modernised generation as the
//                         almanacs name them (GPS III, BeiDou-3, every QZSS satellite)
//   <sys>/<sig>/<mask>    lock, forced, c2, c3, guide: masks of one signal 0..5 of the system,
//                         no bit above the system's satellites
// Systems: gps, glo, sbas, gloc (GLONASS CDMA), gal, bds, qzss, irnss. Only the signals that
// exist for a system have keys.
#include "gnss_link/lock_manager_keys.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/lock_manager.h"

namespace {

const char* const kSysNames[kChanSys] = {"gps", "glo", "sbas", "gloc", "gal", "bds", "qzss", "irnss"};
const char* const kSigNames[kFATypes] = {"0", "1", "2", "3", "4", "5"};
const char* const kSwNames[kLockSwitches] = {"pcode", "gpsp", "glop", "l2ca", "l5",
                                             "e5a",   "e5b",  "e6",   "glol3", "lex"};
enum MaskKind { kLock, kForced, kC2, kC3, kGuide, kMaskKinds };
const char* const kMaskNames[kMaskKinds] = {"lock", "forced", "c2", "c3", "guide"};

LockMask64& maskRef(int kind, int k) {
  LockSettings& s = lockSettings();
  LockSettingsExt& x = lockSettingsExt();
  switch (kind) {
    case kLock: return s.lock[k];
    case kForced: return s.forced[k];
    case kC2: return x.comp2[k];
    case kC3: return x.comp3[k];
    default: return x.guide[k];
  }
}

// One 64-bit number, hex or decimal; no bit outside `allowed`.
int setMask64(const ZRNamedNode* v, std::uint64_t& dst, std::uint64_t allowed) {
  if (!v || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isText()) return CMD_WRONG_2ND;
  const char* t = v->text();
  if (!*t || *t == '-' || *t == '+' || *t == ' ') return CMD_WRONG_2ND;
  errno = 0;
  char* end = nullptr;
  const unsigned long long x = std::strtoull(t, &end, 0);
  if (errno != 0 || end == t || *end) return CMD_WRONG_2ND;
  const std::uint64_t m = x;
  if (m & ~allowed) return CMD_OUT_OF_RANGE;
  dst = m;
  return CMD_OK;
}

int reHex64(Reply& re, std::uint64_t v) {
  re.printf("0x%llX", static_cast<unsigned long long>(v));
  return CMD_OK;
}

// Index of `name` in a table; -1 when absent.
int find(const char* const* names, int n, const char* name, std::size_t len) {
  for (int i = 0; i < n; ++i) {
    if (std::strlen(names[i]) == len && std::strncmp(names[i], name, len) == 0) return i;
  }
  return -1;
}

// Splits the first component off `p`: its length, and the rest after the slash (null: none).
std::size_t head(const char* p, const char*& rest) {
  const char* s = std::strchr(p, '/');
  rest = s ? s + 1 : nullptr;
  return s ? static_cast<std::size_t>(s - p) : std::strlen(p);
}

int setSys(int sys, const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "sats") == 0) {
    std::uint64_t m = 0;
    if (int rc = setMask64(v, m, ~std::uint64_t{0})) return rc;
    lockSettings().sysMask[sys].set(m);
    return CMD_OK;
  }
  const char* rest = nullptr;
  const std::size_t n = head(p, rest);
  const int sig = find(kSigNames, kFATypes, p, n);
  if (sig < 0 || !rest || !lockSignalExists(sys, sig)) return CMD_WRONG_1ST;
  const int kind = find(kMaskNames, kMaskKinds, rest, std::strlen(rest));
  if (kind < 0) return CMD_WRONG_1ST;
  std::uint64_t m = 0;
  if (int rc = setMask64(v, m, lockSysFullMask(sys))) return rc;
  maskRef(kind, lockEntry(sys, sig)).set(m);
  return CMD_OK;
}

int setKey(const char* p, const ZRNamedNode* v) {
  LockSettings& s = lockSettings();
  if (std::strcmp(p, "state") == 0) return setInt(v, s.state, 0, 3);
  if (std::strcmp(p, "sysen") == 0) return setInt(v, s.sysEnable, 0, 255);
  if (std::strcmp(p, "budget") == 0) return setInt(v, s.budgetLimit, kBudgetMin, kBudgetMax);
  if (std::strcmp(p, "overlap") == 0) return setBool(v, s.guideOverlap);
  const char* rest = nullptr;
  const std::size_t n = head(p, rest);
  if (!rest) return CMD_WRONG_1ST;
  if (n == 2 && std::strncmp(p, "sw", 2) == 0) {
    const int sw = find(kSwNames, kLockSwitches, rest, std::strlen(rest));
    if (sw < 0) return CMD_WRONG_1ST;
    if (int rc = setBool(v, s.sw[sw])) return rc;
    lmuLockApply(static_cast<LockSwitch>(sw));
    return CMD_OK;
  }
  const int sys = find(kSysNames, kChanSys, p, n);
  if (sys < 0) return CMD_WRONG_1ST;
  return setSys(sys, rest, v);
}

// ---- print

int g_sys = 0;
int g_sig = 0;

int sigPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int kind = 0; kind < kMaskKinds; ++kind) {
    if (strcmpA(p, kMaskNames[kind])) rc = reHex64(re, maskRef(kind, lockEntry(g_sys, g_sig)).get());
  }
  return rc;
}

// The satellites of the modernised generation the almanacs name (GPS, BeiDou, QZSS only).
const std::atomic<std::uint64_t>* phase3Of(int sys) {
  return sys == 0 ? &gpsPhase3 : sys == 5 ? &beiPhase3 : sys == 6 ? &qzsPhase3 : nullptr;
}

int sysPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "sats")) rc = reHex64(re, lockSettings().sysMask[g_sys].get());
  if (const auto* m = phase3Of(g_sys); m != nullptr && strcmpA(p, "phase3")) rc = reHex64(re, m->load());
  for (int sig = 0; sig < kFATypes; ++sig) {
    if (!lockSignalExists(g_sys, sig)) continue;
    if (const char* r = strncmpA(p, kSigNames[sig])) {
      g_sig = sig;
      rc = reSub(sigPrint, r, re);
    }
  }
  return rc;
}

int swPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int sw = 0; sw < kLockSwitches; ++sw) {
    if (strcmpA(p, kSwNames[sw])) rc = reBool(re, lockSettings().sw[sw] != 0);
  }
  return rc;
}

}  // namespace

int lockcSet(const char* p, const ZRNamedNode* v) {
  const int rc = setKey(p, v);
  // Every accepted change counts; states 2 and 3 act here.
  if (rc == CMD_OK) LockMan::updateLocking();
  return rc;
}

int lockcPrint(const char* p, Reply& re) {
  const LockSettings& s = lockSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "state")) rc = reLong(re, s.state);
  if (strcmpA(p, "sysen")) rc = reLong(re, static_cast<long>(s.sysEnable));
  if (strcmpA(p, "budget")) rc = reLong(re, s.budgetLimit);
  if (strcmpA(p, "overlap")) rc = reBool(re, s.guideOverlap != 0);
  if (const char* r = strncmpA(p, "sw")) rc = reSub(swPrint, r, re);
  for (int sys = 0; sys < kChanSys; ++sys) {
    if (const char* r = strncmpA(p, kSysNames[sys])) {
      g_sys = sys;
      rc = reSub(sysPrint, r, re);
    }
  }
  return rc;
}

bool registerLockArea() { return parRegisterArea("lock", lockcSet, lockcPrint); }
