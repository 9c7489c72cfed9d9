// The PPS and event keys:
//
//   dev/pps/<x>/out       output on (on/off)                          default off
//   dev/pps/<x>/per/ms    period, 10..1000000000 ms                   1000
//   dev/pps/<x>/offs/ms   offset, -500000000..500000000 ms            0
//   dev/pps/<x>/offs/ns   offset, -500000..500000 ns                  0
//   dev/pps/<x>/edge      rise, fallinv, fall, riseinv                rise
//   dev/pps/<x>/mper      second-pulse period: 0 (off) or 20..1000000000 ms; prints 0 while off
//                                                                     1000, off
//   dev/pps/<x>/len       pulse length 0..5000000                     2000000
//   dev/pps/<x>/mlen      second-pulse length 0..5000000              3000000
//   dev/pps/<x>/time      time scale (one of ppsTimeScaleNames)       utc
//   dev/pps/<x>/tied      on/off                                      on
//   dev/pps/<x>/rfdel     RF delay compensation, on/off               on
//
//   dev/event/<x>/time    time scale                                  utc
//   dev/event/<x>/in      input on                                    off
//   dev/event/<x>/edge    rise, fall                                  rise
//   dev/event/<x>/imp     impedance high, low                         high
//   dev/event/<x>/tied    on/off                                      on
//   dev/event/<x>/rfdel   on/off                                      on
//   dev/event/<x>/lock    off, on, always (every set lowers `locked`) off
//   dev/event/<x>/offs/ns -500000..500000 ns                          0
//   dev/event/<x>/locked  the input's lock flag, print only
//
// <x> is a or b. A set works on a copy: the object and the stored record change only when the
// value is accepted.
#include "gnss_link/peripherals/pps_event_keys.h"

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/peripherals/pps_event.h"

namespace {

const char* const kPpsEdges = "rise,fallinv,fall,riseinv";
const char* const kEventEdges = "rise,fall";
const char* const kImpedances = "high,low";
const char* const kLockModes = "off,on,always";

using L = PpsLimits;

// The output or input letter of "<x>/<key>": 0 or 1 and the key after it; -1 otherwise.
int letter(const char* p, const char*& key) {
  if ((p[0] != 'a' && p[0] != 'b') || p[1] != '/') return -1;
  key = p + 2;
  return p[0] - 'a';
}

int setU8Enum(const ZRNamedNode* v, std::uint8_t& dst, const char* keywords) {
  int i = 0;
  if (int rc = setEnum(v, i, keywords)) return rc;
  dst = static_cast<std::uint8_t>(i);
  return CMD_OK;
}

// A time-scale name: the first of the names it equals; 5 when none.
int setTime(const ZRNamedNode* v, std::uint8_t& dst) {
  if (!v || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isText()) return CMD_WRONG_2ND;
  const int i = ppsTimeScaleIndex(v->text());
  if (i < 0) return CMD_OUT_OF_RANGE;
  dst = static_cast<std::uint8_t>(i);
  return CMD_OK;
}

int setPpsKey(PpsSettings& s, const char* k, const ZRNamedNode* v) {
  if (std::strcmp(k, "out") == 0) return setBool(v, s.out);
  if (std::strcmp(k, "per/ms") == 0) return setInt(v, s.perMs, L::kPerMin, L::kPerMax);
  if (std::strcmp(k, "offs/ms") == 0) return setInt(v, s.offsMs, -L::kOffsMsMax, L::kOffsMsMax);
  if (std::strcmp(k, "offs/ns") == 0) return setInt(v, s.offsNs, -L::kOffsNsMax, L::kOffsNsMax);
  if (std::strcmp(k, "edge") == 0) return setU8Enum(v, s.edge, kPpsEdges);
  if (std::strcmp(k, "mper") == 0) {
    std::int32_t m = 0;
    if (int rc = setInt(v, m, 0, L::kMperMax)) return rc;
    if (m != 0 && m < L::kMperMin) return CMD_OUT_OF_RANGE;
    s.mperOn = m != 0;
    if (m != 0) s.mper = m;
    return CMD_OK;
  }
  if (std::strcmp(k, "len") == 0) return setInt(v, s.len, 0, L::kLenMax);
  if (std::strcmp(k, "mlen") == 0) return setInt(v, s.mlen, 0, L::kLenMax);
  if (std::strcmp(k, "time") == 0) return setTime(v, s.time);
  if (std::strcmp(k, "tied") == 0) return setBool(v, s.tied);
  if (std::strcmp(k, "rfdel") == 0) return setBool(v, s.rfdel);
  return CMD_WRONG_1ST;
}

int setEventKey(Event& e, EventSettings& s, const char* k, const ZRNamedNode* v) {
  if (std::strcmp(k, "lock") == 0) {
    // Lowered whatever the value: a new lock request waits for the board's next word.
    e.clearLocked();
    return setU8Enum(v, s.lock, kLockModes);
  }
  if (std::strcmp(k, "time") == 0) return setTime(v, s.time);
  if (std::strcmp(k, "in") == 0) return setBool(v, s.in);
  if (std::strcmp(k, "edge") == 0) return setU8Enum(v, s.edge, kEventEdges);
  if (std::strcmp(k, "imp") == 0) return setU8Enum(v, s.imp, kImpedances);
  if (std::strcmp(k, "tied") == 0) return setBool(v, s.tied);
  if (std::strcmp(k, "rfdel") == 0) return setBool(v, s.rfdel);
  if (std::strcmp(k, "offs/ns") == 0) return setInt(v, s.offsNs, -L::kOffsNsMax, L::kOffsNsMax);
  if (std::strcmp(k, "locked") == 0) return CMD_READ_ONLY;
  return CMD_WRONG_1ST;
}

// ---- print

int g_index = 0;

int reTime(Reply& re, int index) {
  if (index < 0 || index >= kPpsTimeScales) return CMD_OUT_OF_RANGE;
  return reString(re, ppsTimeScaleNames[index]);
}

int ppsPerPrint(const char* p, Reply& re) { return strcmpA(p, "ms") ? reLong(re, pps[g_index].settings().perMs) : CMD_WRONG_1ST; }

int ppsOffsPrint(const char* p, Reply& re) {
  const PpsSettings& s = pps[g_index].settings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "ms")) rc = reLong(re, s.offsMs);
  if (strcmpA(p, "ns")) rc = reLong(re, s.offsNs);
  return rc;
}

int ppsKeysPrint(const char* p, Reply& re) {
  const PpsSettings& s = pps[g_index].settings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "out")) rc = reBool(re, s.out != 0);
  if (const char* r = strncmpA(p, "per")) rc = reSub(ppsPerPrint, r, re);
  if (const char* r = strncmpA(p, "offs")) rc = reSub(ppsOffsPrint, r, re);
  if (strcmpA(p, "edge")) rc = reEnum(re, s.edge, kPpsEdges);
  if (strcmpA(p, "mper")) rc = reLong(re, s.mperOn ? s.mper : 0);
  if (strcmpA(p, "len")) rc = reLong(re, s.len);
  if (strcmpA(p, "mlen")) rc = reLong(re, s.mlen);
  if (strcmpA(p, "time")) rc = reTime(re, s.time);
  if (strcmpA(p, "tied")) rc = reBool(re, s.tied != 0);
  if (strcmpA(p, "rfdel")) rc = reBool(re, s.rfdel != 0);
  return rc;
}

int evOffsPrint(const char* p, Reply& re) { return strcmpA(p, "ns") ? reLong(re, ev[g_index].settings().offsNs) : CMD_WRONG_1ST; }

int evKeysPrint(const char* p, Reply& re) {
  const EventSettings& s = ev[g_index].settings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "time")) rc = reTime(re, s.time);
  if (strcmpA(p, "in")) rc = reBool(re, s.in != 0);
  if (strcmpA(p, "edge")) rc = reEnum(re, s.edge, kEventEdges);
  if (strcmpA(p, "imp")) rc = reEnum(re, s.imp, kImpedances);
  if (strcmpA(p, "tied")) rc = reBool(re, s.tied != 0);
  if (strcmpA(p, "rfdel")) rc = reBool(re, s.rfdel != 0);
  if (strcmpA(p, "lock")) rc = reEnum(re, s.lock, kLockModes);
  if (const char* r = strncmpA(p, "offs")) rc = reSub(evOffsPrint, r, re);
  if (strcmpA(p, "locked")) rc = reBool(re, ev[g_index].locked());
  return rc;
}

int lettersPrint(const char* p, Reply& re, ParPrintFn keys) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < 2; ++i) {
    const char name[2] = {static_cast<char>('a' + i), 0};
    if (const char* r = strncmpA(p, name)) {
      g_index = i;
      rc = reSub(keys, r, re);
    }
  }
  return rc;
}

}  // namespace

int ppscSet(const char* p, const ZRNamedNode* v) {
  const char* key = nullptr;
  const int i = letter(p, key);
  if (i < 0) return CMD_WRONG_1ST;
  PpsSettings s = pps[i].settings();
  const int rc = setPpsKey(s, key, v);
  if (rc == CMD_OK) pps[i].set(s);
  return rc;
}

int evcSet(const char* p, const ZRNamedNode* v) {
  const char* key = nullptr;
  const int i = letter(p, key);
  if (i < 0) return CMD_WRONG_1ST;
  EventSettings s = ev[i].settings();
  const int rc = setEventKey(ev[i], s, key, v);
  if (rc == CMD_OK) ev[i].set(s);
  return rc;
}

int ppscPrint(const char* p, Reply& re) { return lettersPrint(p, re, ppsKeysPrint); }
int evcPrint(const char* p, Reply& re) { return lettersPrint(p, re, evKeysPrint); }

bool registerPpsEventAreas() {
  const bool a = parRegisterArea("dev/pps", ppscSet, ppscPrint);
  const bool b = parRegisterArea("dev/event", evcSet, evcPrint);
  return a && b;
}
