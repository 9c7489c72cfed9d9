#include "differential/lband/ts_commands.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/lband/ts_decoder.h"

namespace {

using TS = TerrastarDataDecoder;

constexpr const char* kRateWords = "4800,2400,1200,600,300";
constexpr int kRates[] = {4800, 2400, 1200, 600, 300};
constexpr long long kUserFreqMin = 1525000000;
constexpr long long kUserFreqMax = 1559000000;
constexpr const char* kDebugOutputs[TS::kDebugOutputs] = {"buffer", "wadenv", "wadiff", "wadgeo", "calls"};
constexpr int kDebugTimeLen = 9;   // HHhMMmSSs
constexpr int kDebugDateLen = 10;  // DD.MM.YYYY

std::uint64_t usableAllowed() {
  std::uint64_t m = 0;
  for (int b = TS::kUsableFirstBit; b <= TS::kUsableLastBit; ++b) m |= std::uint64_t{1} << b;
  return m;
}

// Text keys: a value that is no text is the wrong kind.
int needText(const ZRNamedNode* v) { return v && v->isText() ? CMD_OK : CMD_WRONG_2ND; }

bool digits(const char* t, int n) {
  for (int i = 0; i < n; ++i)
    if (t[i] < '0' || t[i] > '9') return false;
  return true;
}
int num(const char* t, int n) {
  int v = 0;
  for (int i = 0; i < n; ++i) v = v * 10 + (t[i] - '0');
  return v;
}

int setDebugTimeValue(const ZRNamedNode* v) {
  if (int rc = needText(v)) return rc;
  const char* t = v->text();
  if (std::strlen(t) != kDebugTimeLen || t[2] != 'h' || t[5] != 'm' || t[8] != 's' || !digits(t, 2) ||
      !digits(t + 3, 2) || !digits(t + 6, 2))
    return CMD_WRONG_2ND;
  const int h = num(t, 2), m = num(t + 3, 2), s = num(t + 6, 2);
  if (h > 23 || m > 59 || s > 59) return CMD_OUT_OF_RANGE;
  TSDecoder.setDebugTime(h, m, s);
  return CMD_OK;
}

int setDebugDateValue(const ZRNamedNode* v) {
  if (int rc = needText(v)) return rc;
  const char* t = v->text();
  if (std::strlen(t) != kDebugDateLen || t[2] != '.' || t[5] != '.' || !digits(t, 2) || !digits(t + 3, 2) ||
      !digits(t + 6, 4))
    return CMD_WRONG_2ND;
  const int d = num(t, 2), mo = num(t + 3, 2), y = num(t + 6, 4);
  if (d < 1 || d > 31 || mo < 1 || mo > 12 || y < 2000 || y > 2100) return CMD_OUT_OF_RANGE;
  TSDecoder.setDebugDate(d, mo, y);
  return CMD_OK;
}

// One item of the user-defined beam: out of range stays 5, any other refusal is 6.
int item(int rc) { return rc == CMD_OK || rc == CMD_OUT_OF_RANGE ? rc : CMD_2ND_MISSED; }

int textItem(const ZRNamedNode* n, char* dst, std::size_t size) {
  if (!n || !n->isText()) return CMD_2ND_MISSED;
  if (std::strlen(n->text()) > static_cast<std::size_t>(TS::kBeamTextMax)) return CMD_OUT_OF_RANGE;
  std::strncpy(dst, n->text(), size - 1);
  dst[size - 1] = 0;
  return CMD_OK;
}

int setUserDefData(const ZRNamedNode* v) {
  constexpr int kItems = 6;
  if (!v || !v->isList() || v->size() != kItems) return CMD_2ND_MISSED;
  TSBeam b{};
  long long f = 0;
  if (int rc = item(setInt(v->at(0), f, kUserFreqMin, kUserFreqMax))) return rc;
  b.frequency = static_cast<std::int32_t>(f);
  int rate = 0;
  if (int rc = item(setEnum(v->at(1), rate, kRateWords))) return rc;
  b.rate = kRates[rate];
  if (int rc = textItem(v->at(2), b.name, sizeof b.name)) return rc;
  if (int rc = textItem(v->at(3), b.id, sizeof b.id)) return rc;
  if (int rc = item(setFloat(v->at(4), b.longitude, -180.0, 180.0))) return rc;
  int en = 0;
  if (int rc = item(setInt(v->at(5), en, 0, 1))) return rc;
  b.enabled = static_cast<std::uint8_t>(en);
  TSDecoder.setUserDefinedBeamData(b);
  return CMD_OK;
}

// "beam/usable" (the whole mask) and "beam/usable/N" (one bit, 1..16).
int usableBit(const char* r) {
  char* end = nullptr;
  const long b = std::strtol(r, &end, 10);
  if (end == r || *end || b < TS::kUsableFirstBit || b > TS::kUsableLastBit) return -1;
  return static_cast<int>(b);
}

int setUsable(const char* r, const ZRNamedNode* v) {
  std::uint64_t mask = TSDecoder.getUsableBeams();
  if (!*r) {
    if (int rc = setBits64(v, mask, usableAllowed())) return rc;
  } else {
    const int b = usableBit(r);
    if (b < 0) return CMD_WRONG_1ST;
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    mask = on ? mask | (std::uint64_t{1} << b) : mask & ~(std::uint64_t{1} << b);
  }
  TSDecoder.setUsableBeams(mask);
  return CMD_OK;
}

int setDebug(const char* p, const ZRNamedNode* v) {
  bool on = false;
  if (const char* r = strncmpA(p, "output")) {
    for (int i = 0; i < TS::kDebugOutputs; ++i) {
      if (!strcmpA(r, kDebugOutputs[i])) continue;
      if (int rc = setBool(v, on)) return rc;
      TSDecoder.setDebugOutput(i, on);
      return CMD_OK;
    }
    return CMD_WRONG_1ST;
  }
  if (strcmpA(p, "time/mode") || strcmpA(p, "date/mode")) {
    if (int rc = setBool(v, on)) return rc;
    if (p[0] == 't')
      TSDecoder.setDebugTimeMode(on);
    else
      TSDecoder.setDebugDateMode(on);
    return CMD_OK;
  }
  if (strcmpA(p, "time/value")) return setDebugTimeValue(v);
  if (strcmpA(p, "date/value")) return setDebugDateValue(v);
  return CMD_WRONG_1ST;
}

int setBeam(const char* p, const ZRNamedNode* v) {
  bool on = false;
  int n = 0;
  if (const char* r = strncmpA(p, "usable")) return setUsable(r, v);
  if (strcmpA(p, "userdef/mode")) {
    if (int rc = setBool(v, on)) return rc;
    TSDecoder.setUserDefinedBeamMode(on);
    return CMD_OK;
  }
  if (strcmpA(p, "userdef/data")) return setUserDefData(v);
  if (strcmpA(p, "scan/mode")) {
    if (int rc = setBool(v, on)) return rc;
    TSDecoder.setBeamScanningMode(on);
    return CMD_OK;
  }
  if (strcmpA(p, "scan/num")) {
    if (int rc = setInt(v, n, 1, 5)) return rc;
    TSDecoder.setBeamScanningNum(n);
    return CMD_OK;
  }
  if (strcmpA(p, "scan/timeout")) {
    if (int rc = setInt(v, n, 1, 600)) return rc;
    TSDecoder.setBeamScanningTimeout(n);
    return CMD_OK;
  }
  if (strcmpA(p, "scan/reset")) {
    if (int rc = setBool(v, on)) return rc;
    if (on) TSDecoder.resetBeamScanning();
    return CMD_OK;
  }
  if (strcmpA(p, "userbeam")) {
    if (int rc = needText(v)) return rc;
    // The stored field holds 9 characters: a longer name is refused, not cut.
    return TSDecoder.setUserBeamName(v->text()) ? CMD_OK : CMD_OUT_OF_RANGE;
  }
  return CMD_WRONG_1ST;
}

int terrastarcSet(const char* p, const ZRNamedNode* v) {
  if (const char* r = strncmpA(p, "beam")) return setBeam(r, v);
  if (const char* r = strncmpA(p, "debug")) return setDebug(r, v);
  if (strcmpA(p, "station/select/1") || strcmpA(p, "station/select/2")) {
    if (int rc = needText(v)) return rc;
    // Each list of stations has 199 characters of room: a longer one is refused, not cut.
    const int i = p[std::strlen(p) - 1] == '1' ? 0 : 1;
    return TSDecoder.setSelectedStations(i, v->text()) ? CMD_OK : CMD_OUT_OF_RANGE;
  }
  return CMD_WRONG_1ST;
}

// ---- print

int rePrintf(Reply& re, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int rePrintf(Reply& re, const char* fmt, ...) {
  char buf[128];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  re.put(buf);
  return CMD_OK;
}

int printSelect(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "1")) rc = reString(re, TSDecoder.getSelectedStations(0));
  if (strcmpA(p, "2")) rc = reString(re, TSDecoder.getSelectedStations(1));
  return rc;
}

int printStation(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "select")) rc = reSub(printSelect, r, re);
  return rc;
}

int printBeamList(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < TS::kSlots; ++i) {
    TSBeam b{};
    float el = 0;
    if (!TSDecoder.getBeamInfo(i, false, &b, &el)) continue;
    char name[4];
    std::snprintf(name, sizeof name, "%.2i", i);
    if (!strcmpA(p, name)) continue;
    if (el < -90.0f)
      rc = rePrintf(re, "{%i,%i,%s,%s,%.1f,%i,}", b.frequency, b.rate, b.name, b.id, static_cast<double>(b.longitude),
                    b.enabled);
    else
      rc = rePrintf(re, "{%i,%i,%s,%s,%.1f,%i,%.1f}", b.frequency, b.rate, b.name, b.id,
                    static_cast<double>(b.longitude), b.enabled, static_cast<double>(el));
  }
  return parListing() ? CMD_OK : rc;
}

int printUserDef(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, TSDecoder.getUserDefinedBeamMode());
  if (strcmpA(p, "data")) {
    const TSBeam& b = TSDecoder.getUserDefinedBeamData();
    rc = rePrintf(re, "{%i,%i,%s,%s,%.1f,%i}", b.frequency, b.rate, b.name, b.id, static_cast<double>(b.longitude),
                  b.enabled);
  }
  return rc;
}

int printScanList(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  const int n = TSDecoder.getOrderedBeamNum();
  for (int i = 0; i < n && i < TS::kSlots; ++i) {
    const char* bn = nullptr;
    float lon = 0;
    if (!TSDecoder.getOrderedBeam(i, &bn, &lon, nullptr)) continue;
    char name[4];
    std::snprintf(name, sizeof name, "%.2i", i);
    if (strcmpA(p, name)) rc = rePrintf(re, "{%s,%.1f}", bn, static_cast<double>(lon));
  }
  return parListing() ? CMD_OK : rc;
}

int printScan(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, TSDecoder.getBeamScanningMode());
  if (strcmpA(p, "num")) rc = reLong(re, TSDecoder.getBeamScanningNum());
  if (strcmpA(p, "timeout")) rc = reLong(re, TSDecoder.getBeamScanningTimeout());
  if (const char* r = strncmpA(p, "list")) rc = reSub(printScanList, r, re);
  return rc;
}

int printBeam(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "list")) rc = reSub(printBeamList, r, re);
  if (const char* r = strncmpA(p, "userdef")) rc = reSub(printUserDef, r, re);
  if (const char* r = strncmpA(p, "scan")) rc = reSub(printScan, r, re);
  if (strcmpA(p, "userbeam")) rc = reString(re, TSDecoder.getUserBeamName());
  if (strcmpA(p, "curbeam")) {
    TSBeam b{};
    rc = reString(re, TSDecoder.getUsedBeamInfo(&b) ? TSDecoder.beamSlot(TSDecoder.usedBeam()).name : "none");
  }
  if (const char* r = strncmpA(p, "usable")) {
    const std::uint64_t mask = TSDecoder.getUsableBeams();
    if (!*r) {
      rc = reBits64(re, mask);
    } else {
      const int b = usableBit(r);
      rc = b < 0 ? CMD_WRONG_1ST : reBool(re, (mask >> b) & 1);
    }
  }
  return rc;
}

int printStatus(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "sync")) rc = reLong(re, TSDecoder.getSyncStatus());
  if (strcmpA(p, "quality")) rc = reLong(re, TSDecoder.getDataQualityStatus());
  return rc;
}

int printOutput(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < TS::kDebugOutputs; ++i)
    if (strcmpA(p, kDebugOutputs[i])) rc = reBool(re, TSDecoder.getDebugOutput(i));
  return rc;
}

int printTime(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, TSDecoder.getDebugTimeMode());
  if (strcmpA(p, "value")) {
    int h = 0, m = 0, s = 0;
    TSDecoder.getDebugTime(h, m, s);
    rc = rePrintf(re, "%02dh%02dm%02ds", h, m, s);
  }
  return rc;
}

int printDate(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, TSDecoder.getDebugDateMode());
  if (strcmpA(p, "value")) {
    int d = 0, mo = 0, y = 0;
    TSDecoder.getDebugDate(d, mo, y);
    rc = rePrintf(re, "%02d.%02d.%04d", d, mo, y);
  }
  return rc;
}

int printDebug(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "output")) rc = reSub(printOutput, r, re);
  if (const char* r = strncmpA(p, "time")) rc = reSub(printTime, r, re);
  if (const char* r = strncmpA(p, "date")) rc = reSub(printDate, r, re);
  return rc;
}

int terrastarcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "station")) rc = reSub(printStation, r, re);
  if (const char* r = strncmpA(p, "beam")) rc = reSub(printBeam, r, re);
  if (const char* r = strncmpA(p, "status")) rc = reSub(printStatus, r, re);
  if (const char* r = strncmpA(p, "debug")) rc = reSub(printDebug, r, re);
  return rc;
}

}  // namespace

bool registerTerrastarArea() { return parRegisterArea("terrastar", terrastarcSet, terrastarcPrint); }
