#include "positioning/gbas/gbas_keys.h"

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_corr_generator.h"
#include "positioning/gbas/gbas_dec_utility.h"

namespace {

constexpr std::uint16_t kFormats[] = {0, 217, 246};
const char* const kFormatWords = "off,do217,do246";
const char* const kModeWords = "id,path,rsds";
const char* const kCrcWords = "check,waive";
constexpr int kIdChars = 4;

template <class T>
T field(const PosSetup::CorrProcessorSetupType& s, std::size_t off) {
  T v{};
  std::memcpy(&v, s.aBytes + off, sizeof v);
  return v;
}

// A copy of the setup under its server's lock, so the correction tasks never see half a change;
// the factory setup while none is held.
PosSetup::CorrProcessorSetupType setup() {
  PosSetup::CorrProcessorSetupType s{};
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) PosSetup::setDefaults(s);
  return s;
}

template <class T>
void store(std::size_t off, T v) {
  PosSetup::CorrProcessorSetupType s = setup();
  std::memcpy(s.aBytes + off, &v, sizeof v);
  PVTDataInstance.corrProcessorSetup.Put(&s);
}

// The 6-bit code of a character of a GBAS identifier; -1 for one that has none.
int codeOf(char c) {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (int k = 1; k < 64; ++k)
    if (Alphabet5ToAsciiTable[k] == static_cast<std::uint8_t>(c)) return k;
  return -1;
}

// Up to four characters; a shorter identifier is filled with spaces, an empty one is none (0).
int setId(const ZRNamedNode* v) {
  char text[kIdChars + 1] = {};
  if (v != nullptr && v->isEmpty()) {
    store<std::uint32_t>(GbasCorr::kGbasIdOffset, 0);
    return CMD_OK;
  }
  if (int rc = setString(v, text, sizeof text, 1, kIdChars)) return rc;
  std::uint32_t id = 0;
  for (int i = 0; i < kIdChars; ++i) {
    const int code = codeOf(text[i] != 0 ? text[i] : ' ');
    if (code < 0) return CMD_WRONG_2ND;
    id = id << 6 | static_cast<std::uint32_t>(code);
  }
  store(GbasCorr::kGbasIdOffset, id);
  return CMD_OK;
}

int printId(Reply& re, std::uint32_t id) {
  char c[kIdChars + 1] = {};
  if (id != 0) GbasDecUtility::gbasIdChars(id, c);
  int n = 0;
  while (n < kIdChars && c[n] != 0) ++n;
  while (n > 0 && c[n - 1] == ' ') --n;
  c[n] = 0;
  return reString(re, c);
}

template <class T>
int setByte(const ZRNamedNode* v, std::size_t off, long long max) {
  T x{};
  if (int rc = setInt(v, x, 0, max)) return rc;
  store(off, x);
  return CMD_OK;
}

}  // namespace

int gbascSet(const char* p, const ZRNamedNode* v) {
  int i = 0;
  if (strcmpA(p, "format")) {
    if (int rc = setEnum(v, i, kFormatWords)) return rc;
    store(GbasCorr::kFormatOffset, kFormats[i]);
    return CMD_OK;
  }
  if (strcmpA(p, "mode")) {
    if (int rc = setEnum(v, i, kModeWords)) return rc;
    store(GbasCorr::kSelectionModeOffset, static_cast<std::uint8_t>(i));
    return CMD_OK;
  }
  if (strcmpA(p, "id")) return setId(v);
  if (strcmpA(p, "rsds")) return setByte<std::uint8_t>(v, GbasCorr::kStationSelectorOffset, 255);
  if (strcmpA(p, "rpds")) return setByte<std::uint8_t>(v, GbasCorr::kPathSelectorOffset, 255);
  if (strcmpA(p, "ephcrc")) {
    if (int rc = setEnum(v, i, kCrcWords)) return rc;
    store(GbasCorr::kWaiveCrcOffset, static_cast<std::uint8_t>(i));
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int gbascPrint(const char* p, Reply& re) {
  const PosSetup::CorrProcessorSetupType s = setup();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "format")) {
    const std::uint16_t f = field<std::uint16_t>(s, GbasCorr::kFormatOffset);
    rc = reEnum(re, f == 217 ? 1 : f == 246 ? 2 : 0, kFormatWords);
  }
  if (strcmpA(p, "mode")) {
    const int m = field<std::uint8_t>(s, GbasCorr::kSelectionModeOffset);
    // Every mode above 1 chooses by the reference station data selector.
    rc = reEnum(re, m > 2 ? 2 : m, kModeWords);
  }
  if (strcmpA(p, "id")) rc = printId(re, field<std::uint32_t>(s, GbasCorr::kGbasIdOffset) & 0xFFFFFFu);
  if (strcmpA(p, "rsds")) rc = reLong(re, field<std::uint8_t>(s, GbasCorr::kStationSelectorOffset));
  if (strcmpA(p, "rpds")) rc = reLong(re, field<std::uint8_t>(s, GbasCorr::kPathSelectorOffset));
  if (strcmpA(p, "ephcrc")) rc = reEnum(re, field<std::uint8_t>(s, GbasCorr::kWaiveCrcOffset) != 0 ? 1 : 0, kCrcWords);
  return rc;
}

bool registerGbasArea() { return parRegisterArea("gbas", gbascSet, gbascPrint); }
