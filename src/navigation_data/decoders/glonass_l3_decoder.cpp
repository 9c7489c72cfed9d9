#include "navigation_data/decoders/glonass_l3_decoder.h"

#include <cmath>

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"
#include "navigation_data/orbits/glonass_eph.h"

GloL3NavDataDecoderType* GloL3NavDataDecoderType::pDecoderPointer[kPoolSize] = {};
std::uint8_t GloL3NavDataDecoderType::uNumOfSource = 0;
GloL3NavDataDecoderType GloL3NavDataDecoderPool[GloL3NavDataDecoderType::kPoolSize];

namespace {
std::uint32_t u(const std::uint32_t* w, int pos, int n) { return GloDecUtility::extract(w, pos, n); }
std::int32_t s(const std::uint32_t* w, int pos, int n) {
  return static_cast<std::int32_t>(GloDecUtility::extract_GloDataField(w, pos, n, true));
}
double p2(int e) { return std::ldexp(1.0, e); }

constexpr double kFtTable[15] = {1, 2, 2.5, 4, 5, 7, 10, 12, 14, 16, 32, 64, 128, 256, 512};

// The time parameters all decoders share: parts from strings 1, 2, 4 and 5 of the satellites
// whose ephemeris is stored and healthy, each with its TS.
struct UtcParts {
  bool has[4];  // strings 1, 2, 4, 5
  std::uint32_t ts[4];
  std::int32_t tauGPS, tauC, tauCRate, tauGPSRate;
  std::uint8_t KP;
  std::uint16_t NA;
  std::uint8_t N4;
  std::int32_t B1, B2, b3;
  std::uint8_t str5Field;
};
UtcParts utc;

bool utcComplete() {
  for (bool h : utc.has)
    if (!h) return false;
  return true;
}

void process_UtcData(SatelliteDataProcessor* store) {
  if (!utcComplete()) return;
  const bool inStep = glo_L3TsFollows(utc.ts[0], utc.ts[1], 1) && glo_L3TsFollows(utc.ts[1], utc.ts[2], 2) &&
                      glo_L3TsFollows(utc.ts[2], utc.ts[3], 1);
  if (inStep) {
    ZRT_UTC_GLN r{};
    r.tauGPS = utc.tauGPS * p2(-30);
    r.tauC = utc.tauC * p2(-31);
    r.tauCRate = static_cast<float>(utc.tauCRate * p2(-31));
    r.tauGPSRate = static_cast<float>(utc.tauGPSRate * p2(-30));
    r.NA = utc.NA;
    r.N4 = utc.N4;
    r.B1 = static_cast<float>(utc.B1 * p2(-16));
    r.B2 = static_cast<float>(utc.B2 * p2(-16));
    r.b3 = static_cast<float>(utc.b3 * p2(-16));
    r.leapNotice = utc.KP;
    r.str5Field = utc.str5Field;
    r.l3 = 1;
    if (store != nullptr) store->update_UtcData(kSysGlonass, 1, &r);
  }
  utc = UtcParts{};
}
}  // namespace

std::uint8_t glo_L3FtIndex(double accuracy) {
  for (std::uint8_t i = 0; i < 15; ++i)
    if (kFtTable[i] > accuracy) return i;
  return 15;
}

bool glo_L3TsFollows(std::uint32_t earlier, std::uint32_t later, std::uint32_t steps) {
  constexpr std::uint32_t day = GloL3NavDataDecoderType::kTsPerDay;
  if (earlier >= day || later >= day) return false;
  return (later + day - earlier) % day == steps;
}

GloL3NavDataDecoderType::GloL3NavDataDecoderType() {
  if (uNumOfSource < kPoolSize) pDecoderPointer[uNumOfSource++] = this;
  store_ = &SatDataProcessorInstance;
  reset();
}

void GloL3NavDataDecoderType::init_Object(SatelliteDataProcessor* store) {
  store_ = store;
  reset();
}

void GloL3NavDataDecoderType::reset() {
  time_ = NavDecoderTime{};
  sv_ = EmptySvId;
  eph_ = EphBlock{};
  ephStored_ = ephHealthy_ = false;
  ephTime_ = 0;
  ephNT_ = 0;
}

GloL3NavDataDecoderType* get_GloL3NavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return selectNavDecoder(GloL3NavDataDecoderType::pDecoderPointer, GloL3NavDataDecoderType::uNumOfSource, time, sv);
}

void GloL3NavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signalMask,
                                     const std::uint32_t* w, int numWords) {
  if (w == nullptr || numWords < kStringWords || sv.sys != kSysGlonass || sv.si >= SYS_SI_NUM[kSysGlonass]) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) {
    reset();
    sv_ = sv;
  }
  time_ = time;
  const int type = static_cast<int>(u(w, 21, 3));
  const std::uint32_t ts = u(w, 24, 15);
  const bool alert = u(w, 39, 1) != 0;
  if (store_ != nullptr) store_->set_AlertFlag(sv_, 1, alert);
  if (u(w, 40, 1) != 0 || type < 1 || type > 5) return;
  const bool feedShared = ephStored_ && ephHealthy_;
  switch (type) {
    case 1:
      utc = UtcParts{};
      decodeString1(w);
      eph_.ts[0] = ts;
      eph_.signalMask |= signalMask;
      if (feedShared) {
        utc.tauGPS = s(w, 207, 22);
        utc.tauC = s(w, 162, 32);
        utc.tauCRate = s(w, 194, 13);
        utc.tauGPSRate = s(w, 229, 22);
        utc.has[0] = true;
        utc.ts[0] = ts;
      }
      break;
    case 2:
      decodeString2(w);
      eph_.ts[1] = ts;
      eph_.signalMask |= signalMask;
      if (feedShared) {
        utc.KP = static_cast<std::uint8_t>(u(w, 274, 2));
        utc.has[1] = true;
        utc.ts[1] = ts;
      }
      break;
    case 3:
      // Its almanac and earth-rotation parts make no records.
      break;
    case 4:
      if (feedShared) {
        utc.N4 = static_cast<std::uint8_t>(u(w, 41, 5));
        utc.NA = static_cast<std::uint16_t>(u(w, 46, 11));
        utc.B1 = s(w, 240, 17);
        utc.B2 = s(w, 257, 10);
        utc.b3 = s(w, 267, 8);
        utc.has[2] = true;
        utc.ts[2] = ts;
      }
      break;
    default:
      if (feedShared) {
        utc.str5Field = static_cast<std::uint8_t>(u(w, 269, 8));
        utc.has[3] = true;
        utc.ts[3] = ts;
        navDecoderLinks.glonassIono(sv_, static_cast<float>(u(w, 223, 7) * p2(-4)),
                                    static_cast<std::uint16_t>(u(w, 230, 9)), static_cast<std::uint16_t>(u(w, 239, 9)));
      }
      break;
  }
  if (type <= 2) {
    EphRaw& f = eph_.f;
    f.alert = static_cast<std::uint8_t>(f.alert | (alert ? 1 << (type - 1) : 0));
  }
  process_EphemerisData();
  process_UtcData(store_);
}

void GloL3NavDataDecoderType::decodeString1(const std::uint32_t* w) {
  // A string 1 starts a new pair: a string 2 heard before it belongs to another frame.
  eph_ = EphBlock{};
  EphRaw& f = eph_.f;
  eph_.arrived[0] = true;
  f.N4 = static_cast<std::uint8_t>(u(w, 41, 5));
  f.NT = static_cast<std::uint16_t>(u(w, 46, 11));
  f.slot = static_cast<std::uint8_t>(u(w, 57, 5));
  f.flagWord = static_cast<std::uint16_t>(u(w, 62, 3) | u(w, 90, 2) << 3);
  f.tb = u(w, 65, 17);
  f.age[0] = static_cast<std::uint8_t>(u(w, 82, 8));
  f.accIdx[0] = static_cast<std::int8_t>(s(w, 92, 5));  // 16 + k reads -k
  f.tau = s(w, 97, 29);
  f.gamma = static_cast<std::int16_t>(s(w, 126, 16));
  f.beta = static_cast<std::int16_t>(s(w, 142, 13));
  f.clk7 = static_cast<std::int8_t>(s(w, 155, 7));
  f.tauC = s(w, 162, 32);
  f.tauCRate = static_cast<std::int16_t>(s(w, 194, 13));
  f.tauGPS = s(w, 207, 22);
  f.tauGPSRate = s(w, 229, 22);
}

void GloL3NavDataDecoderType::decodeString2(const std::uint32_t* w) {
  EphRaw& f = eph_.f;
  eph_.arrived[1] = true;
  f.age[1] = static_cast<std::uint8_t>(u(w, 41, 8));
  f.accIdx[1] = static_cast<std::int8_t>(s(w, 51, 5));
  f.flagWord = static_cast<std::uint16_t>((f.flagWord & 0x1F) | u(w, 49, 2) << 5 | u(w, 56, 2) << 7);
  for (int k = 0; k < 3; ++k) {
    f.pos[k] = s(w, 58 + 32 * k, 32);
    f.vel[k] = s(w, 154 + 30 * k, 30);
    f.acc[k] = static_cast<std::int16_t>(s(w, 244 + 10 * k, 10));
  }
}

bool GloL3NavDataDecoderType::EphBlock::check() {
  if (!arrived[0] || !arrived[1]) return false;
  if (!glo_L3TsFollows(ts[0], ts[1], 1)) {
    *this = EphBlock{};
    return false;
  }
  return true;
}

void GloL3NavDataDecoderType::process_EphemerisData() {
  if (!eph_.check()) return;
  const EphRaw& f = eph_.f;
  const std::uint32_t identity = GbasCRC32.ComputeCRC(&f, 0, static_cast<int>(sizeof f * 8));
  ZRT_EPH_GLN r{};
  r.slot = f.slot;
  r.freqNum = static_cast<std::int8_t>(sv_.si - 7);
  r.tkRaw = static_cast<std::uint16_t>(eph_.ts[0]);
  r.tk = eph_.ts[0] * 3u;
  r.tb = f.tb;
  r.NT = f.NT;
  r.N4 = f.N4;
  r.tauN = f.tau * p2(-35);
  r.gammaN = f.gamma * p2(-45);
  r.beta = static_cast<float>(f.beta * p2(-55));
  r.dTauN = static_cast<float>(f.clk7 * p2(-32));
  r.tauC = f.tauC * p2(-31);
  r.tauCRate = static_cast<float>(f.tauCRate * p2(-49));
  r.tauGPS = f.tauGPS * p2(-30);
  for (int k = 0; k < 3; ++k) {
    r.pos[k] = f.pos[k] * p2(-16);
    r.vel[k] = f.vel[k] * p2(-26);
    r.acc[k] = static_cast<float>(f.acc[k] * p2(-35));
  }
  r.En = f.age[0] > f.age[1] ? f.age[0] : f.age[1];
  r.age2 = f.age[1];
  r.accIdx[0] = f.accIdx[0];
  r.accIdx[1] = f.accIdx[1];
  const double a1 = get_GloL3NavEphemerisAccuracy(f.accIdx[0]);
  const double a2 = get_GloL3NavEphemerisAccuracy(f.accIdx[1]);
  r.FT = glo_L3FtIndex(std::sqrt(a1 * a1 + a2 * a2));
  r.health = f.alert != 0 ? 1 : 0;
  r.flags = f.flagWord;
  r.crc16 = 65535;
  // The store reads the record as an L3 one by this bit, whatever signal carried the strings.
  r.signals = static_cast<std::uint8_t>(eph_.signalMask | kGloSignalL3);
  ephStored_ = true;
  ephHealthy_ = r.health == 0;
  ephTime_ = time_.ulTimeTag;
  ephNT_ = f.NT;
  eph_ = EphBlock{};
  if (store_ != nullptr) store_->update_EphemerisData(sv_, 1, &r, identity, true, false, false);
}
