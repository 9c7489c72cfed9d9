#include "differential/rtcm2/rtcm2_keys.h"

#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm2/rtcm2_coder.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "settings/nv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

constexpr const char* kVersions = "v2.1,v2.2,v2.3,v2.4";
constexpr const char* kRefSources = "l1pc,arp,auto";
constexpr long long kMaxAgeLimit = 32767;  // s, the correction stores' 16-bit signed limit
constexpr int kTextMax = 90;               // characters of a type 16 or 36 text

// The base decoder's epoch modes by key name: the bit of RTCM_SETTINGS::rtcm2EpochMode.
constexpr struct {
  const char* key;
  std::uint8_t bit;
} kEpochModes[] = {{"glo", RTCM_Client::kEpochGlo}, {"eoe", RTCM_Client::kEpochEoe}, {"full", RTCM_Client::kEpochFull}};

int epochSet(const char* p, const ZRNamedNode* v) {
  for (const auto& e : kEpochModes) {
    if (!strcmpA(p, e.key)) continue;
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    const std::uint8_t m = rtcm2EpochModes(RtcmSet);
    RtcmSet.rtcm2EpochMode = static_cast<std::uint8_t>(kRtcm2EpochStored | (on ? m | e.bit : m & ~e.bit));
    rtcm2SetEpochModes(RtcmSet.rtcm2EpochMode);
    nv_writeRtcmSettings();
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int epochPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (const auto& e : kEpochModes)
    if (strcmpA(p, e.key)) rc = reBool(re, (rtcm2EpochModes(RtcmSet) & e.bit) != 0);
  return rc;
}

// A set builds the whole new record first, so that a refused value changes nothing.
int rovercSet(const char* p, const ZRNamedNode* v) {
  if (const char* e = strncmpA(p, "epoch")) return epochSet(e, v);
  RTCM_DEC_SETTINGS s = RTCM_Decoder::Set;
  if (strcmpA(p, "maxage")) {
    if (int rc = setInt(v, s.maxAge, 1, kMaxAgeLimit)) return rc;
  } else if (strcmpA(p, "seqnum")) {
    if (int rc = setBool(v, s.seqCheck)) return rc;
  } else if (strcmpA(p, "invsign")) {
    if (int rc = setBool(v, s.invSign)) return rc;
  } else if (strcmpA(p, "usenm")) {
    if (int rc = setBool(v, s.useNotMonitored)) return rc;
  } else if (strcmpA(p, "ver") || strcmpA(p, "refsrc")) {
    int k = 0;
    const bool ver = strcmpA(p, "ver");
    if (int rc = setEnum(v, k, ver ? kVersions : kRefSources)) return rc;
    (ver ? s.version : s.refSource) = static_cast<std::uint32_t>(k);
  } else {
    return CMD_WRONG_1ST;
  }
  RTCM_Decoder::setSettings(s);
  return CMD_OK;
}

int rovercPrint(const char* p, Reply& re) {
  const RTCM_DEC_SETTINGS& s = RTCM_Decoder::Set;
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "maxage")) rc = reLong(re, s.maxAge);
  if (strcmpA(p, "seqnum")) rc = reBool(re, s.seqCheck != 0);
  if (strcmpA(p, "invsign")) rc = reBool(re, s.invSign != 0);
  if (strcmpA(p, "ver")) rc = reEnum(re, static_cast<int>(s.version), kVersions);
  if (strcmpA(p, "usenm")) rc = reBool(re, s.useNotMonitored != 0);
  if (strcmpA(p, "refsrc")) rc = reEnum(re, static_cast<int>(s.refSource), kRefSources);
  if (const char* e = strncmpA(p, "epoch")) rc = reSub(epochPrint, e, re);
  return rc;
}

// The coder's settings: the whole record is built before it is taken, and stored at once.
int basecSet(const char* p, const ZRNamedNode* v) {
  RTCM_COD_SETTINGS s = RtcmCod.settings();
  if (strcmpA(p, "glo")) {
    if (int rc = setBool(v, s.glo)) return rc;
  } else if (strcmpA(p, "smooth")) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    s.smooth = on ? 1 : 0;
  } else if (strcmpA(p, "text16") || strcmpA(p, "text36")) {
    // Types 16 and 36 go out only with a text; an empty one sends none.
    const bool glo = strcmpA(p, "text36");
    char* t = glo ? s.text36 : s.text16;
    if (int rc = setString(v, t, sizeof s.text16, 0, kTextMax)) return rc;
    (glo ? s.len36 : s.len16) = static_cast<std::uint8_t>(std::strlen(t));
  } else {
    return CMD_WRONG_1ST;
  }
  RtcmCod.setSettings(s);
  nv_writeRtcmSettings();
  return CMD_OK;
}

int basecPrint(const char* p, Reply& re) {
  const RTCM_COD_SETTINGS& s = RtcmCod.settings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "glo")) rc = reBool(re, s.glo != 0);
  else if (strcmpA(p, "smooth")) rc = reBool(re, s.smooth == 1);
  else if (strcmpA(p, "text16")) rc = reString(re, s.text16);
  else if (strcmpA(p, "text36")) rc = reString(re, s.text36);
  return rc;
}

}  // namespace

bool registerRtcmBaseArea() { return parRegisterArea("rtcm/base", basecSet, basecPrint); }

bool registerRtcmRoverArea() { return parRegisterArea("rtcm/rover", rovercSet, rovercPrint); }
