#include "navigation_data/decoders/glonass_nav_decoder.h"

#include <cmath>
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"

GloNavDataDecoderType GloNavDataDecoderPool[GloNavDataDecoderType::kPoolSize];

namespace {
constexpr std::uint32_t kStringGapMs = 3000;
constexpr std::uint32_t kP3FreshMs = 30000;

std::uint32_t u(const std::uint32_t* w, int pos, int n) { return GloDecUtility::extract(w, pos, n); }
std::int32_t s(const std::uint32_t* w, int pos, int n) {
  return static_cast<std::int32_t>(GloDecUtility::extract_GloDataField(w, pos, n, true));
}
double p2(int e) { return std::ldexp(1.0, e); }

// The header and the time parameters shared by every decoder: the last strings 4, 5 and 14 of
// any satellite, with their arrival times.
struct CommonData {
  bool has4 = false, has5 = false, has14 = false;
  std::uint32_t at4 = 0, at5 = 0, at14 = 0;
  std::uint16_t NT = 0, NA = 0;
  std::uint8_t N4 = 0, KP = 0;
  std::int32_t tauC = 0, tauGPS = 0, B1 = 0, B2 = 0;
};
CommonData common;

// The almanac of one frame as the satellites send it: two sets (two almanac issues may be on
// the air at once, told apart by NA and N4), each with the satellites that announced it in their
// string 5 and the two halves of the frame's five almanacs.
struct AlmHalves {
  std::uint32_t w[2][GloNavDataDecoderType::kStringWords];
  std::uint32_t at[2];
  bool has[2];
};
struct AlmSet {
  bool inUse;
  std::uint16_t NA;
  std::uint8_t N4;
  std::int32_t tauC;
  std::uint32_t at5;
  std::uint8_t tx[GloNavDataDecoderType::kPoolSize];
  int txCount;
  AlmHalves slot[5];
  std::uint16_t key() const { return static_cast<std::uint16_t>(NA + 2048 * N4); }
};
AlmSet almSets[2];
bool almOutput[5];

void clearAlmanacFrame() {
  for (AlmSet& set : almSets) {
    set.inUse = false;
    set.at5 = 0;
    set.txCount = 0;
  }
  for (bool& o : almOutput) o = false;
}

// The set for an almanac issue: the one in use with its key, else a free one, else the one with
// the smaller key (none when that key is the largest there is).
int get_SetIndex(std::uint16_t key) {
  for (int i = 0; i < 2; ++i)
    if (almSets[i].inUse && almSets[i].key() == key) return i;
  for (int i = 0; i < 2; ++i)
    if (!almSets[i].inUse) return i;
  const int smaller = almSets[0].key() <= almSets[1].key() ? 0 : 1;
  return almSets[smaller].key() == 65535 ? -1 : smaller;
}

int setOfTransmitter(std::uint8_t si) {
  for (int i = 0; i < 2; ++i)
    for (int k = 0; k < almSets[i].txCount; ++k)
      if (almSets[i].tx[k] == si) return i;
  return -1;
}

bool checkAlmanac(int k, AlmSet& set) {
  AlmHalves& h = set.slot[k];
  if (!set.inUse || !h.has[0] || !h.has[1]) return false;
  const auto span = [](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; };
  const bool ok = span(h.at[0], set.at5) <= 4000u * static_cast<std::uint32_t>(k) + 3000u &&
                  span(h.at[1], h.at[0]) <= kStringGapMs && !almOutput[k];
  if (!ok) h = AlmHalves{};
  return ok;
}

// Positions of each ephemeris string that take part in the 16-bit check value.
bool crcKeeps(int str, int pos) {
  switch (str) {
    case 1:
    case 2: return pos >= 22 && pos <= 77;
    case 3: return (pos >= 7 && pos <= 17) || (pos >= 22 && pos <= 77);
    default: return pos >= 6 && pos <= 27;
  }
}
}  // namespace

GloNavDataDecoderType::GloNavDataDecoderType() { reset(); }

void GloNavDataDecoderType::reset() {
  resetShared();
  eph_ = EphBlock{};
  p3Known_ = false;
}

GloNavDataDecoderType* get_GloNavDataDecoder(const NavDecoderTime* time, const SvIdType* sv) {
  return GloNavDataDecoderType::select(time, sv);
}

void GloNavDataDecoderType::update(const NavDecoderTime& time, SvIdType sv, std::uint8_t signalMask,
                                   const std::uint32_t* w, int numWords, float cn0) {
  if (w == nullptr || numWords < kStringWords || sv.sys != kSysGlonass || sv.si >= SYS_SI_NUM[kSysGlonass]) return;
  if (sv.si != sv_.si || sv.sys != sv_.sys) {
    reset();
    sv_ = sv;
  }
  time_ = time;
  cn0_ = cn0;
  cn0Above10_ = cn0 > kCn0Tracked;
  const int id = static_cast<int>(GloDecUtility::extract_StringId(w));
  if (id < 1 || id > 15) return;
  const std::uint32_t ln = GloDecUtility::extract_LnFlag(w);
  if (ln != 255 && store_ != nullptr) store_->set_AlertFlag(sv_, 0, ln != 0);
  const bool almanacPhase = ephStored_ && ephHealthy_ && !(store_ != nullptr && store_->get_AlertFlag(sv_, 0));
  const std::uint32_t now = time.ulTimeTag;
  if (id <= 5) {
    if (id == 1) eph_ = EphBlock{};
    decodeEphString(id, w);
    eph_.signalMask |= signalMask;
    if (almanacPhase && id <= 4) clearAlmanacFrame();
    if (almanacPhase && id == 4) {
      common.NT = eph_.f.NT;
      common.has4 = true;
      common.at4 = now;
    }
    if (almanacPhase && id == 5) takeString5(now);
  } else if (almanacPhase) {
    const bool fiveAlmanacs = p3Known_ && now - p3Time_ <= kP3FreshMs && p3_ == 1;
    if (id == 14 && !fiveAlmanacs) {
      common.B1 = s(w, 6, 11);
      common.B2 = s(w, 17, 10);
      common.KP = static_cast<std::uint8_t>(u(w, 27, 2));
      common.has14 = true;
      common.at14 = now;
    } else if (id != 15 || fiveAlmanacs) {
      decodeAlmanacHalf(id, w);
    }
  }
  process_EphemerisData();
  process_AlmanacData();
  process_CommonData();
}

void GloNavDataDecoderType::takeString5(std::uint32_t now) {
  if (!common.has4 || now - common.at4 > kStringGapMs) return;
  const EphFields& f = eph_.f;
  // N4 belongs to the day of the ephemeris: an almanac day two years away is of the other
  // four-year interval.
  int n4 = f.N4;
  const int d = static_cast<int>(f.NA) - static_cast<int>(common.NT);
  if (d >= 731) --n4;
  else if (d < -730) ++n4;
  common.NA = f.NA;
  common.tauC = f.tauC;
  common.tauGPS = f.tauGPS;
  common.N4 = static_cast<std::uint8_t>(n4);
  common.has5 = true;
  common.at5 = now;
  const int idx = get_SetIndex(static_cast<std::uint16_t>(f.NA + 2048 * n4));
  if (idx < 0) return;
  AlmSet& set = almSets[idx];
  if (!set.inUse || set.key() != static_cast<std::uint16_t>(f.NA + 2048 * n4)) {
    set = AlmSet{};
    set.inUse = true;
  }
  set.NA = f.NA;
  set.N4 = static_cast<std::uint8_t>(n4);
  set.tauC = f.tauC;
  set.at5 = now;
  if (setOfTransmitter(sv_.si) != idx && set.txCount < kPoolSize) set.tx[set.txCount++] = sv_.si;
}

void GloNavDataDecoderType::decodeEphString(int id, const std::uint32_t* w) {
  EphFields& f = eph_.f;
  const int k = id - 1;
  eph_.arrived[k] = true;
  eph_.at[k] = time_.ulTimeTag;
  if (id <= 4) std::memcpy(eph_.crcWords[k], w, sizeof eph_.crcWords[k]);
  switch (id) {
    case 1:
      f.P1 = static_cast<std::uint8_t>(u(w, 8, 2));
      f.tk = static_cast<std::uint16_t>(u(w, 10, 12));
      f.vx = s(w, 22, 24), f.ax = static_cast<std::int8_t>(s(w, 46, 5)), f.x = s(w, 51, 27);
      break;
    case 2:
      f.Bn = static_cast<std::uint8_t>(u(w, 6, 3));
      f.P2 = static_cast<std::uint8_t>(u(w, 9, 1));
      f.tb = static_cast<std::uint16_t>(u(w, 10, 7));
      f.vy = s(w, 22, 24), f.ay = static_cast<std::int8_t>(s(w, 46, 5)), f.y = s(w, 51, 27);
      break;
    case 3:
      f.P3 = static_cast<std::uint8_t>(u(w, 6, 1));
      f.gamma = static_cast<std::int16_t>(s(w, 7, 11));
      f.P = static_cast<std::uint8_t>(u(w, 19, 2));
      f.ln3 = static_cast<std::uint8_t>(u(w, 21, 1));
      f.vz = s(w, 22, 24), f.az = static_cast<std::int8_t>(s(w, 46, 5)), f.z = s(w, 51, 27);
      p3Known_ = true;
      p3_ = f.P3;
      p3Time_ = time_.ulTimeTag;
      break;
    case 4:
      f.tau = s(w, 6, 22);
      f.dTau = static_cast<std::int8_t>(s(w, 28, 5));
      f.En = static_cast<std::uint8_t>(u(w, 33, 5));
      f.P4 = static_cast<std::uint8_t>(u(w, 52, 1));
      f.FT = static_cast<std::uint8_t>(u(w, 53, 4));
      f.NT = static_cast<std::uint16_t>(u(w, 60, 11));
      f.n = static_cast<std::uint8_t>(u(w, 71, 5));
      f.M = static_cast<std::uint8_t>(u(w, 76, 2));
      break;
    default:
      f.NA = static_cast<std::uint16_t>(u(w, 6, 11));
      f.tauC = s(w, 17, 32);
      f.N4 = static_cast<std::uint8_t>(u(w, 50, 5));
      f.tauGPS = s(w, 55, 22);
      f.ln5 = static_cast<std::uint8_t>(u(w, 77, 1));
      break;
  }
}

bool GloNavDataDecoderType::EphBlock::check() {
  for (bool a : arrived)
    if (!a) return false;
  for (int k = 1; k < 5; ++k) {
    const std::uint32_t gap = at[k] - at[k - 1];
    // Unsigned: a string older than its predecessor reads as a huge gap.
    if (gap > kStringGapMs) {
      *this = EphBlock{};
      return false;
    }
  }
  const double r = std::sqrt(std::pow(f.x, 2) + std::pow(f.y, 2) + std::pow(f.z, 2)) * p2(-11);
  const double v = std::sqrt(std::pow(f.vx, 2) + std::pow(f.vy, 2) + std::pow(f.vz, 2)) * p2(-20);
  if (!(std::fabs(r - 25500) <= 6500 && std::fabs(v - 3) <= 1)) return false;
  return f.gamma != 0 || f.tau != 0;
}

bool GloNavDataDecoderType::compare_RawData(const EphFields& o) const {
  const EphFields& b = eph_.f;
  return o.tb == b.tb && o.x == b.x && o.y == b.y && o.z == b.z && o.vx == b.vx && o.vy == b.vy && o.vz == b.vz &&
         o.ax == b.ax && o.ay == b.ay && o.az == b.az;
}

void GloNavDataDecoderType::fill_EphRecord(ZRT_EPH_GLN& r) const {
  const EphFields& f = eph_.f;
  r = ZRT_EPH_GLN{};
  r.slot = f.n;
  r.freqNum = static_cast<std::int8_t>(sv_.si - 7);
  r.tkRaw = f.tk;
  r.tk = ((f.tk >> 7) & 0x1F) * 3600u + ((f.tk >> 1) & 0x3F) * 60u + (f.tk & 1) * 30u;
  r.tb = f.tb * 900u;
  r.NT = f.NT;
  r.En = f.En;
  r.FT = f.FT;
  r.tauN = f.tau * p2(-30);
  r.gammaN = f.gamma * p2(-40);
  r.dTauN = static_cast<float>(f.dTau * p2(-30));
  const std::int32_t pos[3] = {f.x, f.y, f.z}, vel[3] = {f.vx, f.vy, f.vz};
  const std::int8_t acc[3] = {f.ax, f.ay, f.az};
  for (int k = 0; k < 3; ++k) {
    r.pos[k] = pos[k] * p2(-11);
    r.vel[k] = vel[k] * p2(-20);
    r.acc[k] = static_cast<float>(acc[k] * p2(-30));
  }
  r.tauC = f.tauC * p2(-31);
  r.tauGPS = f.tauGPS * p2(-30);
  r.NA = f.NA;
  r.N4 = f.N4;
  r.health = static_cast<std::uint8_t>((f.Bn >> 2) & 1);
  r.flags = static_cast<std::uint16_t>(f.P1 | f.P2 << 2 | f.P3 << 3 | (f.Bn & 3) << 4 | 0x80 | f.ln3 << 8 |
                                       f.P << 9 | f.P4 << 11 | f.M << 12 | f.ln5 << 14);
  r.signals = eph_.signalMask;
}

void GloNavDataDecoderType::process_EphemerisData() {
  if (!eph_.check()) return;
  // The same state vector heard on two channels: the ghost rule.
  if (!ghostCheck(eph_.signalMask, [this](const EphFields& o) { return compare_RawData(o); })) {
    eph_ = EphBlock{};
    return;
  }
  EphFields id = eph_.f;
  id.flagWord = 0;
  std::uint8_t buf[43] = {};
  for (int str = 1; str <= 4; ++str)
    for (int pos = 1; pos <= 85; ++pos)
      if (crcKeeps(str, pos) && u(eph_.crcWords[str - 1], pos, 1) != 0) {
        const int bit = (str - 1) * 85 + pos - 1;
        buf[bit / 8] = static_cast<std::uint8_t>(buf[bit / 8] | (0x80 >> (bit % 8)));
      }
  const auto crc16 = static_cast<std::uint16_t>(GbasCRC16.ComputeCRC(buf, 0, 340));
  const bool confirmed = repeats(crc16, eph_.f.tb);
  ZRT_EPH_GLN r;
  fill_EphRecord(r);
  r.crc16 = crc16;
  navDecoderLinks.gbasEphIntegrity(sv_, eph_.f.tb, crc16);
  // The identity leaves the flag word out; the ghost rule compares no flag.
  commitEphemeris(id, static_cast<int>(sizeof id * 8), &r, eph_.signalMask, r.health == 0, confirmed);
  eph_ = EphBlock{};
}

void glo_DecodeAlmanac(const std::uint32_t* a, const std::uint32_t* b, int NA, int N4, double tauC,
                       ZRT_ALM_GLN& r) {
  r = ZRT_ALM_GLN{};
  const int Cn = static_cast<int>(u(a, 6, 1));
  r.M = static_cast<std::uint8_t>(u(a, 7, 2));
  r.slot = static_cast<std::uint8_t>(u(a, 9, 5));
  r.tauN = static_cast<float>(s(a, 14, 10) * p2(-18));
  r.lambda = s(a, 24, 21) * p2(-20);
  r.dI = static_cast<float>(s(a, 45, 18) * p2(-20));
  r.ecc = static_cast<float>(u(a, 63, 15) * p2(-20));
  r.omega = static_cast<float>(s(b, 6, 16) * p2(-15));
  r.tLambda = u(b, 22, 21) * p2(-5);
  r.dT = static_cast<float>(s(b, 43, 22) * p2(-9));
  r.dTdot = static_cast<float>(s(b, 65, 7) * p2(-14));
  const int h = static_cast<int>(u(b, 72, 5));
  r.freqNum = static_cast<std::int8_t>(h >= 25 ? h - 32 : h);
  r.NA = static_cast<std::uint16_t>(NA);
  r.N4 = static_cast<std::uint8_t>(N4);
  r.tauC = tauC;
  r.health = static_cast<std::uint8_t>(Cn | r.M << 1);
  if (u(b, 43, 22) == 0 && u(a, 63, 15) == 0) r.health |= kGloAlmUnusable;
}

void GloNavDataDecoderType::decodeAlmanacHalf(int id, const std::uint32_t* w) {
  const int k = (id - 6) / 2;
  const int idx = setOfTransmitter(sv_.si);
  if (k < 0 || k > 4 || idx < 0) return;
  AlmHalves& h = almSets[idx].slot[k];
  const int part = (id & 1) ? 1 : 0;  // even strings the first half
  std::memcpy(h.w[part], w, sizeof h.w[part]);
  h.at[part] = time_.ulTimeTag;
  h.has[part] = true;
}

void GloNavDataDecoderType::process_AlmanacData() {
  if (store_ == nullptr) return;
  // The newer issue first.
  int order[2] = {0, 1};
  if (almSets[1].inUse && (!almSets[0].inUse || almSets[1].key() > almSets[0].key())) order[0] = 1, order[1] = 0;
  for (int k = 0; k < 5; ++k)
    for (int idx : order) {
      AlmSet& set = almSets[idx];
      if (!checkAlmanac(k, set)) continue;
      ZRT_ALM_GLN r;
      glo_DecodeAlmanac(set.slot[k].w[0], set.slot[k].w[1], set.NA, set.N4, set.tauC * p2(-31), r);
      if (r.slot >= 1 && r.slot <= SYS_SAT_NUM[kSysGlonass]) {
        SvIdType id = sv_;
        id.sat = static_cast<std::uint8_t>(r.slot - 1);
        store_->update_AlmanacData(id, 0, &r, false);
      }
      almOutput[k] = true;
      set.slot[k] = AlmHalves{};
    }
}

void GloNavDataDecoderType::process_CommonData() {
  if (!common.has4 || !common.has5 || !common.has14 || store_ == nullptr) return;
  // Strings 4, 5 and 14 of one frame; otherwise wait for the next string 14.
  const std::uint32_t d45 = common.at5 - common.at4, d514 = common.at14 - common.at5;
  if (d45 < 1000 || d45 > 3000 || d514 < 17000 || d514 > 19000) {
    common.has14 = false;
    return;
  }
  ZRT_UTC_GLN r{};
  r.tauC = common.tauC * p2(-31);
  r.tauGPS = common.tauGPS * p2(-30);
  r.NA = common.NA;
  r.NT = common.NT;
  r.N4 = common.N4;
  r.B1 = static_cast<float>(common.B1 * p2(-10));
  r.B2 = static_cast<float>(common.B2 * p2(-16));
  r.leapNotice = common.KP;
  store_->update_UtcData(kSysGlonass, 0, &r);
  common.has4 = common.has5 = common.has14 = false;
}
