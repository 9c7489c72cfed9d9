// Field layouts and scalings: RTCA DO-246 (ICAO Annex 10 Volume I, Appendix B 3.6.4), message
// types 1, 2 and 4; the older DO-217 type 1 is read with the same layout.
#include "positioning/gbas/gbas_data_decoder.h"

#include <numbers>

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_dec_utility.h"
#include "positioning/geodesy/ell_math.h"

using GbasDecUtility::extract;
using GbasDecUtility::extractSigned;

int GbasDataDecoder::uNumberOfGbasSet = 0;
GbasDataDecoder GbasDataDecoderInstance[2];

namespace {

constexpr int kHeaderBytes = 6;
constexpr int kCrcBytes = 4;
constexpr int kHeaderBits = kHeaderBytes * 8;
// Type 1: 7 bytes of message data before 11-byte measurement blocks.
constexpr int kType1FixedBytes = 7;
constexpr int kMeasBlockBytes = 11;
// Type 2: the ground station fields take 18 bytes; additional data block 1 six more.
constexpr int kType2Bytes = kHeaderBytes + 18 + kCrcBytes;
constexpr int kType2WithBlock1Bytes = kType2Bytes + 6;
// Type 4: a data set is its length byte, a 38-byte FAS data block (34 bytes and the FAS CRC) and
// the two alert-limit bytes.
constexpr int kFasDataBytes = 34;
constexpr int kDataSetBytes = 1 + kFasDataBytes + kCrcBytes + 2;

constexpr std::uint32_t kZCountPeriodMs = 1200000;  // the modified Z-count restarts every 20 min
constexpr std::int64_t kWeekMs = 604800000;
constexpr double kArcSecPerCode = 0.0005;
constexpr double kDegPerRad = 180.0 / std::numbers::pi;

double arcCodeToDeg(std::int32_t code) { return code * kArcSecPerCode / 3600.0; }

// Ranging source identifiers: 1..36 GPS PRN, 38..61 GLONASS slot + 37, 120..138 SBAS PRN. The
// satellite must have a place in the store; others are not used.
bool rangingSource(int id, SvIdType& sv) {
  if (id >= 1 && id <= 36) return svIdFromSatNumber(kSysGps, id, sv);
  if (id >= 38 && id <= 61) return svIdFromSatNumber(kSysGlonass, id - 37, sv);
  if (id >= 120 && id <= 138) return svIdFromSatNumber(kSysSbas, id, sv);
  return false;
}

char alphabet(std::uint32_t code) { return static_cast<char>(Alphabet5ToAsciiTable[code & 63u]); }

}  // namespace

std::uint32_t gbasZCountTime(std::uint32_t zCount, std::uint32_t rcvMs) {
  const std::int64_t rcv = rcvMs;
  std::int64_t t = rcv - rcv % kZCountPeriodMs + static_cast<std::int64_t>(zCount) * 100;
  // Within half the Z-count period of the receiver: a message made just before a 20-minute
  // boundary and decoded after it belongs to the period that ended.
  const std::int64_t half = kZCountPeriodMs / 2;
  if (t - rcv >= half) t -= kZCountPeriodMs;
  if (t - rcv < -half) t += kZCountPeriodMs;
  t %= kWeekMs;
  if (t < 0) t += kWeekMs;
  return static_cast<std::uint32_t>(t);
}

GbasDataDecoder::GbasDataDecoder() : number_(uNumberOfGbasSet++) {}

void GbasDataDecoder::init_Object(PVTDataType* store) {
  if (store == nullptr || number_ >= GBASData::kGbasSources) return;
  pDiff_ = &store->gbasDiffCorrection[number_];
  pStation_ = &store->gbasStationData[number_];
  pAdd_ = &store->gbasStationAddBlock[number_];
  pFas_ = &store->gbasFas[number_];
  pState_ = &store->gbasSourceState;
}

GbasDataDecoder* get_GbasDataDecoder(const PosData::RcvTimeDataType& t, std::uint8_t blockId, std::uint32_t gbasId) {
  for (GbasDataDecoder& d : GbasDataDecoderInstance)
    if (d.hasGbasId() && d.gbasId() == gbasId && d.blockId() == blockId) return &d;
  for (GbasDataDecoder& d : GbasDataDecoderInstance)
    if (!d.hasGbasId()) return &d;
  // A station that never sent a type 1 message counts as the oldest.
  GbasDataDecoder* best = nullptr;
  std::uint32_t bestAge = 0;
  for (GbasDataDecoder& d : GbasDataDecoderInstance) {
    const std::uint32_t age = d.hasType1() ? t.ulTimeTag - d.lastType1Time() : 0xFFFFFFFFu;
    if (best == nullptr || age > bestAge) {
      best = &d;
      bestAge = age;
    }
  }
  return best;
}

int GbasDataDecoder::update(const PosData::RcvTimeDataType& t, std::uint32_t gbasId, std::uint8_t blockId,
                            const std::uint8_t* msg, int count) {
  rcvTime_ = t;
  if (!bHasId_ || gbasId != ulGbasId_ || blockId != uBlockId_) {
    type1_.bNew = 0;
    type2_.bNew = 0;
    type4_.bNew = 0;
  }
  bHasId_ = 1;
  ulGbasId_ = gbasId;
  uBlockId_ = blockId;
  if (t.gps.uStatus[0] == 0) return 0;
  const std::uint32_t gpsMs = t.gps.ulMs;

  int type = -1;
  int len = 0;
  if (msg != nullptr && count >= kHeaderBytes + kCrcBytes) {
    type = static_cast<int>(extract(msg, 32, 8));
    len = static_cast<int>(extract(msg, 40, 8));
    // The length must lie inside the bytes given; a message that does not is not read.
    if (len > count || len < kHeaderBytes + kCrcBytes) type = -1;
  }
  if (type == 1 && (blockId == kDo246BlockId || blockId == kDo217BlockId)) {
    decodeType1(msg, len, gpsMs);
    bType1_ = 1;
    ulType1Time_ = t.ulTimeTag;
  } else if (type == 2 && blockId == kDo246BlockId) {
    decodeType2(msg, len);
  } else if (type == 4 && blockId == kDo246BlockId) {
    decodeType4(msg, len);
  }
  if (type1_.bNew) publishType1(gpsMs);
  if (type2_.bNew) publishType2(gpsMs);
  if (type4_.bNew) publishType4(gpsMs);
  publishSourceState();
  return 1;
}

void GbasDataDecoder::decodeType1(const std::uint8_t* msg, int len, std::uint32_t gpsMs) {
  Type1Block& b = type1_;
  const std::uint32_t z = extract(msg, kHeaderBits, 14);
  b.ulCorrTime = gbasZCountTime(z, gpsMs);
  int n = static_cast<int>(extract(msg, kHeaderBits + 16, 5));
  b.uMeasType = static_cast<std::uint8_t>(extract(msg, kHeaderBits + 21, 3));
  b.uEphDecorr = static_cast<std::uint8_t>(extract(msg, kHeaderBits + 24, 8));
  b.uEphCrc = static_cast<std::uint16_t>(extract(msg, kHeaderBits + 32, 16));
  b.uSad = static_cast<std::uint8_t>(extract(msg, kHeaderBits + 48, 8));
  // Only the measurement blocks that lie wholly inside the message are read.
  const int fit = (len - kHeaderBytes - kType1FixedBytes - kCrcBytes) / kMeasBlockBytes;
  if (n > fit) n = fit < 0 ? 0 : fit;
  if (n > kMaxMeasBlocks) n = kMaxMeasBlocks;
  for (int i = 0; i < n; ++i) {
    const int p = (kHeaderBytes + kType1FixedBytes + i * kMeasBlockBytes) * 8;
    MeasBlock& m = b.meas[i];
    m.id = static_cast<std::uint8_t>(extract(msg, p, 8));
    m.iod = static_cast<std::uint8_t>(extract(msg, p + 8, 8));
    m.prc = static_cast<std::int16_t>(extractSigned(msg, p + 16, 16));
    m.rrc = static_cast<std::int16_t>(extractSigned(msg, p + 32, 16));
    m.sigma = static_cast<std::uint8_t>(extract(msg, p + 48, 8));
    for (int k = 0; k < 4; ++k) m.b[k] = static_cast<std::int8_t>(extractSigned(msg, p + 56 + 8 * k, 8));
  }
  b.count = n;
  b.bNew = 1;
}

void GbasDataDecoder::decodeType2(const std::uint8_t* msg, int len) {
  if (len < kType2Bytes) return;
  Type2Block& b = type2_;
  const int p = kHeaderBits;
  b.receivers = static_cast<std::uint8_t>(extract(msg, p, 2));
  b.accuracy = static_cast<std::uint8_t>(extract(msg, p + 2, 2));
  b.continuity = static_cast<std::uint8_t>(extract(msg, p + 5, 3));
  b.magVar = static_cast<std::int16_t>(extractSigned(msg, p + 8, 11));
  b.sigmaVert = static_cast<std::uint8_t>(extract(msg, p + 24, 8));
  // The refractivity index is a signed code around 400 (N_R 16..781).
  b.refractivity = static_cast<std::int8_t>(extractSigned(msg, p + 32, 8));
  b.scaleHeight = static_cast<std::uint8_t>(extract(msg, p + 40, 8));
  b.sigmaN = static_cast<std::uint8_t>(extract(msg, p + 48, 8));
  b.lat = extractSigned(msg, p + 56, 32);
  b.lon = extractSigned(msg, p + 88, 32);
  b.height = extractSigned(msg, p + 120, 24);
  // Additional data block 1 follows only when the message holds all six of its bytes.
  b.bAddBlock = len >= kType2WithBlock1Bytes ? 1 : 0;
  if (b.bAddBlock)
    for (int k = 0; k < 6; ++k) b.add[k] = static_cast<std::uint8_t>(extract(msg, p + 144 + 8 * k, 8));
  b.bNew = 1;
}

void GbasDataDecoder::decodeType4(const std::uint8_t* msg, int len) {
  Type4Block& b = type4_;
  b.count = 0;
  int pos = kHeaderBytes;
  const int end = len - kCrcBytes;
  while (b.count < kMaxFasBlocks && pos < end) {
    const int setLen = static_cast<int>(extract(msg, pos * 8, 8));
    if (setLen < kDataSetBytes || pos + setLen > end) break;
    const std::uint8_t* fas = msg + pos + 1;
    const std::uint32_t sent = static_cast<std::uint32_t>(fas[kFasDataBytes]) << 24 |
                               static_cast<std::uint32_t>(fas[kFasDataBytes + 1]) << 16 |
                               static_cast<std::uint32_t>(fas[kFasDataBytes + 2]) << 8 | fas[kFasDataBytes + 3];
    if (GbasDecUtility::crc32q(fas, kFasDataBytes) != sent) break;
    FasBlock& f = b.fas[b.count];
    f.opType = static_cast<std::uint8_t>(extract(fas, 0, 4));
    f.provider = static_cast<std::uint8_t>(extract(fas, 4, 4));
    for (int k = 0; k < 4; ++k) f.airport[k] = static_cast<std::uint8_t>(extract(fas, 8 + 8 * k, 8));
    f.runway = static_cast<std::uint8_t>(extract(fas, 40, 6));
    f.letter = static_cast<std::uint8_t>(extract(fas, 46, 2));
    f.apd = static_cast<std::uint8_t>(extract(fas, 48, 3));
    f.route = static_cast<std::uint8_t>(extract(fas, 51, 5));
    f.selector = static_cast<std::uint8_t>(extract(fas, 56, 8));
    for (int k = 0; k < 4; ++k) f.pathId[k] = static_cast<std::uint8_t>(extract(fas, 64 + 8 * k, 8));
    f.lat = extractSigned(fas, 96, 32);
    f.lon = extractSigned(fas, 128, 32);
    f.height = static_cast<std::uint16_t>(extract(fas, 160, 16));
    f.dLat = extractSigned(fas, 176, 24);
    f.dLon = extractSigned(fas, 200, 24);
    f.tch = static_cast<std::uint16_t>(extract(fas, 224, 15));
    f.tchUnits = static_cast<std::uint8_t>(extract(fas, 239, 1));
    f.gpa = static_cast<std::uint16_t>(extract(fas, 240, 16));
    f.width = static_cast<std::uint8_t>(extract(fas, 256, 8));
    f.dLength = static_cast<std::uint8_t>(extract(fas, 264, 8));
    f.val = static_cast<std::uint8_t>(extract(msg, (pos + 1 + kFasDataBytes + kCrcBytes) * 8, 8));
    f.lal = static_cast<std::uint8_t>(extract(msg, (pos + 2 + kFasDataBytes + kCrcBytes) * 8, 8));
    ++b.count;
    pos += setLen;
  }
  b.bNew = b.count > 0 ? 1 : 0;
}

void GbasDataDecoder::publishType1(std::uint32_t gpsMs) {
  Type1Block& b = type1_;
  b.bNew = 0;
  if (pDiff_ == nullptr) return;
  for (int i = 0; i < b.count; ++i) {
    const MeasBlock& m = b.meas[i];
    SvIdType sv;
    // A source the store has no place for is left out; the others are published.
    if (!rangingSource(m.id, sv)) continue;
    GBASData::DiffCorrectionType r;
    if (!pDiff_->Take(&sv, &r)) r.init();
    r.set_ReadyDiffCorr(uBlockId_, ulGbasId_);
    r.uIod = m.iod;
    if (m.sigma == GBASData::DiffCorrectionType::kSigmaInvalid) {
      r.uFlags = static_cast<std::uint8_t>(r.uFlags & ~GBASData::DiffCorrectionType::kCorrValid);
    } else {
      r.uFlags = static_cast<std::uint8_t>(r.uFlags | GBASData::DiffCorrectionType::kCorrValid);
      r.ulCorrTime = b.ulCorrTime;
      r.iPrc = m.prc;
      r.iRrc = m.rrc;
      r.uSigmaPrGnd = m.sigma;
      for (int k = 0; k < 4; ++k) {
        const std::uint8_t bit = static_cast<std::uint8_t>(GBASData::DiffCorrectionType::kB1Present << k);
        r.iB[k] = m.b[k];
        r.uFlags = static_cast<std::uint8_t>(m.b[k] == GBASData::DiffCorrectionType::kBNotUsed ? r.uFlags & ~bit
                                                                                                : r.uFlags | bit);
      }
    }
    if (i == 0) {
      r.uFlags = static_cast<std::uint8_t>(r.uFlags | GBASData::DiffCorrectionType::kFirstSource);
      r.ulFirstTime = b.ulCorrTime;
      r.uMeasType = b.uMeasType;
      r.uEphDecorr = b.uEphDecorr;
      r.uEphCrc = b.uEphCrc;
      if (b.uSad == 255) {
        r.uSad = GBASData::DiffCorrectionType::kSadUnknown;
        r.uFlags = static_cast<std::uint8_t>(r.uFlags & ~GBASData::DiffCorrectionType::kSadKnown);
      } else {
        r.uSad = static_cast<std::uint16_t>(b.uSad * 10);
        r.uFlags = static_cast<std::uint8_t>(r.uFlags | GBASData::DiffCorrectionType::kSadKnown);
      }
    }
    GBASData::set_TimeTag(r.ulTimeTag, gpsMs);
    pDiff_->Put(&sv, &r);
  }
}

void GbasDataDecoder::publishType2(std::uint32_t gpsMs) {
  const Type2Block& b = type2_;
  type2_.bNew = 0;
  if (pStation_ == nullptr) return;
  GBASData::StationDataType s{};
  s.bReady = 1;
  s.uBlockId = uBlockId_;
  s.ulGbasId = ulGbasId_;
  s.uGroundReceivers = static_cast<std::uint8_t>(b.receivers + 2);
  s.uAccuracy = b.accuracy;
  s.uContinuity = b.continuity;
  s.iRefractivity = static_cast<std::int16_t>(b.refractivity * 3 + 400);
  s.uSigmaN = b.sigmaN;
  s.uScaleHeight = static_cast<std::uint16_t>(b.scaleHeight * 100);
  s.fSigmaVertIono = static_cast<float>(b.sigmaVert * 1e-7);
  s.dLat = arcCodeToDeg(b.lat);
  s.dLon = arcCodeToDeg(b.lon);
  s.dHeight = b.height * 0.01;
  EllMath::BLH_XYZ(EllExt, s.dLat / kDegPerRad, s.dLon / kDegPerRad, s.dHeight, s.dX, s.dY, s.dZ);
  s.fMagVar = static_cast<float>(b.magVar * 0.25);
  s.bMagVarValid = 1;
  GBASData::set_TimeTag(s.ulTimeTag, gpsMs);
  pStation_->Put(&s);
  if (!b.bAddBlock || pAdd_ == nullptr) return;
  GBASData::StationAddBlockDataType a{};
  a.bReady = 1;
  a.uBlockId = uBlockId_;
  a.ulGbasId = ulGbasId_;
  a.uSelector = b.add[0];
  a.uMaxUseDistance = static_cast<std::uint16_t>(b.add[1] * 2);
  for (int k = 0; k < 4; ++k) a.fKmd[k] = static_cast<float>(b.add[2 + k] * 0.05);
  GBASData::set_TimeTag(a.ulTimeTag, gpsMs);
  pAdd_->Put(&a);
}

void GbasDataDecoder::publishType4(std::uint32_t gpsMs) {
  type4_.bNew = 0;
  if (pFas_ == nullptr) return;
  for (int i = 0; i < type4_.count; ++i) {
    const FasBlock& f = type4_.fas[i];
    GBASData::FASDataType r{};
    r.bReady = 1;
    r.uBlockId = uBlockId_;
    r.ulGbasId = ulGbasId_;
    r.uOperationType = f.opType;
    r.uSbasProvider = f.provider;
    for (int k = 0; k < 4; ++k) {
      r.cAirport[k] = alphabet(f.airport[k]);
      r.cPathId[k] = alphabet(f.pathId[k]);
    }
    r.uRunway = f.runway;
    r.uRunwayLetter = f.letter;
    r.uApproachDesignator = f.apd;
    r.cRouteIndicator = alphabet(f.route);
    r.uSelector = f.selector;
    r.dLtpLat = arcCodeToDeg(f.lat);
    r.dLtpLon = arcCodeToDeg(f.lon);
    r.fLtpHeight = static_cast<float>(f.height * 0.1 - 512.0);
    r.fFpapDLat = static_cast<float>(arcCodeToDeg(f.dLat));
    r.fFpapDLon = static_cast<float>(arcCodeToDeg(f.dLon));
    // Threshold crossing height in 0.05 m, or in tenths of feet when the units bit is clear.
    r.fTch = static_cast<float>(f.tchUnits ? f.tch * 0.05 : f.tch * 0.03048);
    r.fGpa = static_cast<float>(f.gpa * 0.01);
    r.fCourseWidth = static_cast<float>(80.0 + f.width * 0.25);
    r.fDLengthOffset = static_cast<float>(f.dLength * 8.0);
    r.fVal = static_cast<float>(f.val * 0.1);
    r.fLal = static_cast<float>(f.lal * 0.2);
    GBASData::set_TimeTag(r.ulTimeTag, gpsMs);
    // The server refuses a selector beyond its 49 entries.
    pFas_->Put(f.selector, &r);
  }
}

void GbasDataDecoder::publishSourceState() {
  if (pState_ == nullptr) return;
  GBASData::SourceStateDataType s{};
  s.bHasId = bHasId_;
  s.uBlockId = uBlockId_;
  s.ulGbasId = ulGbasId_;
  s.ulType1Time = ulType1Time_;
  s.bType1 = bType1_;
  pState_->Put(number_, &s);
}
