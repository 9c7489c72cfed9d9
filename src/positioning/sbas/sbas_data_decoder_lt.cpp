// Long-term corrections (MT24 second half, MT25) and clock-ephemeris covariance (MT28) of the
// SBAS L1 decoder: field layouts of RTCA DO-229D A.4.4.7, A.4.4.8 and A.4.4.19.
#include <cstring>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/tag_age.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "positioning/sbas/sbas_decoder_fields.h"

using sbas_fields::field;
using sbas_fields::sfield;
using sbas_fields::usable;

namespace {

constexpr int kHalfBits = 106;
constexpr int kCovHalfBits = 105;
constexpr int kGloIodUnit = 900;      // s: GLONASS IOD from the ephemeris reference time
constexpr int kGloValidityUnit = 30;  // s per unit of the validity interval in the IOD

bool validMaskNumber(int n) { return n >= 1 && n <= SbasDataDecoder::kSlots; }

}  // namespace

// A half is 106 bits from `pos`: velocity code 0 carries two satellites and the half's IODP at
// its bits 104-105 (bit 106 spare), velocity code 1 one satellite with its IODP at bits 105-106.
// A bad mask number rejects the half from that satellite on; false then.
bool SbasDataDecoder::decode_LongTermHalf(const std::uint8_t* msg, int pos) {
  static_assert(kHalfBits == 1 + 2 * 51 + 2 + 1);
  if (field(msg, pos, 1) == 0) {
    const std::uint8_t iodp = static_cast<std::uint8_t>(field(msg, pos + 103, 2));
    for (int k = 0; k < 2; ++k) {
      const int q = pos + 1 + 51 * k;
      const int n = field(msg, q, 6);
      if (!validMaskNumber(n)) return false;
      LongTermCorrDataType& l = lt_[n - 1];
      l = LongTermCorrDataType{};
      l.uVelocityCode = 0;
      l.uIodp = iodp;
      l.uIode = static_cast<std::uint8_t>(field(msg, q + 6, 8));
      l.lTime = lTag_;
      l.iDx = static_cast<std::int16_t>(sfield(msg, q + 14, 9));
      l.iDy = static_cast<std::int16_t>(sfield(msg, q + 23, 9));
      l.iDz = static_cast<std::int16_t>(sfield(msg, q + 32, 9));
      l.iDaf0 = static_cast<std::int16_t>(sfield(msg, q + 41, 10));
      l.bNew = 1;
    }
    return true;
  }
  const int q = pos + 1;
  const int n = field(msg, q, 6);
  if (!validMaskNumber(n)) return false;
  LongTermCorrDataType& l = lt_[n - 1];
  l = LongTermCorrDataType{};
  l.uVelocityCode = 1;
  l.uIode = static_cast<std::uint8_t>(field(msg, q + 6, 8));
  l.iDx = static_cast<std::int16_t>(sfield(msg, q + 14, 11));
  l.iDy = static_cast<std::int16_t>(sfield(msg, q + 25, 11));
  l.iDz = static_cast<std::int16_t>(sfield(msg, q + 36, 11));
  l.iDaf0 = static_cast<std::int16_t>(sfield(msg, q + 47, 11));
  l.iDdx = static_cast<std::int16_t>(sfield(msg, q + 58, 8));
  l.iDdy = static_cast<std::int16_t>(sfield(msg, q + 66, 8));
  l.iDdz = static_cast<std::int16_t>(sfield(msg, q + 74, 8));
  l.iDaf1 = static_cast<std::int16_t>(sfield(msg, q + 82, 8));
  l.uT0 = static_cast<std::uint16_t>(field(msg, q + 90, 13));
  l.uIodp = static_cast<std::uint8_t>(field(msg, q + 103, 2));
  l.lTime = lTag_;
  l.bNew = 1;
  return true;
}

void SbasDataDecoder::decode_Covariance(const std::uint8_t* msg) {
  const std::uint8_t iodp = static_cast<std::uint8_t>(field(msg, 1, 2));
  for (int k = 0; k < 2; ++k) {
    const int q = 3 + kCovHalfBits * k;
    const int n = field(msg, q, 6);
    if (!validMaskNumber(n)) continue;
    EphClockCovMatrixDataType& c = cov_[n - 1];
    c.uIodp = iodp;
    c.uScaleExp = static_cast<std::uint8_t>(field(msg, q + 6, 3));
    // Diagonal terms unsigned, the others signed; kept in row order of the upper triangle.
    static constexpr int kDiag[4] = {0, 4, 7, 9};       // E11 E22 E33 E44
    static constexpr int kOff[6] = {1, 2, 3, 5, 6, 8};  // E12 E13 E14 E23 E24 E34
    for (int i = 0; i < 4; ++i) c.iE[kDiag[i]] = static_cast<std::int16_t>(field(msg, q + 9 + 9 * i, 9));
    for (int i = 0; i < 6; ++i) c.iE[kOff[i]] = static_cast<std::int16_t>(sfield(msg, q + 45 + 10 * i, 10));
    c.lTime = lTag_;
    c.bNew = 1;
  }
}

// A GLONASS slot's correction is for the ephemeris the satellite sent within the validity
// interval the IOD gives; the IOD kept is that ephemeris's reference time in 900 s units.
bool SbasDataDecoder::glonass_LongTermIod(const SvIdType& slotSv, SvIdType& sv, std::uint8_t& iod) const {
  if (satData_ == nullptr || time_.glo.uStatus[0] == 0) return false;
  const SvIdType full = satData_->get_AlmSvId(slotSv);
  if (full.sys != kSysGlonass || full.si == kSvUnknown || !full.isValidSat()) return false;
  ZRT_EPH_GLN eph;
  bool valid = false;
  if (!satData_->copy_EphLastData(kSysGlonass, full.si, 0, &eph, sizeof eph, &valid) || !valid) return false;
  const std::int64_t gloMs = static_cast<std::int64_t>(time_.glo.ulMs) - kReceptionDelayMs;
  const double sinceFrame = TagAge::foldedSeconds(gloMs - static_cast<std::int64_t>(eph.tk) * 1000, 86400.0);
  if (sinceFrame < 0 || sinceFrame > kGloValidityUnit * (iod & 0x1F)) return false;
  iod = static_cast<std::uint8_t>((eph.tb / kGloIodUnit) % 256);
  sv = full;
  return true;
}

void SbasDataDecoder::publish_LongTerm(const SvIdType& sv, const SBASData::LongCorrBlock& b, std::int32_t time) {
  SBASData::SatCorrectionType r;
  if (!take_Sat(sv, r)) return;
  // The block of the previous ephemeris stays beside the new one while users may still hold it.
  if (r.get_SourceIndex() == SBASData::sourceIndexOf(source_) && r.is_ReadyLongCorr(lTag_) &&
      r.longCorr[0].uIod != b.uIod) {
    r.longCorr[1] = r.longCorr[0];
    r.ulPrevLongTime = r.ulLongTime;
    r.set_ReadyPrevLong(source_);
  }
  r.set_ReadyLongCorr(source_);
  r.longCorr[0] = b;
  SBASData::set_TimeTag(r.ulLongTime, time);
  put_Sat(sv, r);
}

void SbasDataDecoder::process_LongTermCorr() {
  for (int s = 0; s < kSlots; ++s) {
    LongTermCorrDataType& l = lt_[s];
    if (l.bNew == 0) continue;
    for (int e = 0; e < 2 && l.bNew != 0; ++e) {
      const PrnMaskType* m = nullptr;
      if (!live(e, m) || iodp_[e].uIodp != l.uIodp) continue;
      l.bNew = 0;
      if (s >= m->uSlots || !usable(m->slot[s])) continue;
      SvIdType sv = m->slot[s];
      std::uint8_t iod = l.uIode;
      if (sv.sys == kSysGlonass && !glonass_LongTermIod(m->slot[s], sv, iod)) continue;
      SBASData::LongCorrBlock b{};
      b.iDx = l.iDx;
      b.iDy = l.iDy;
      b.iDz = l.iDz;
      b.iDaf0 = l.iDaf0;
      b.uVelocityCode = l.uVelocityCode;
      b.uIod = iod;
      b.iDdx = l.iDdx;
      b.iDdy = l.iDdy;
      b.iDdz = l.iDdz;
      b.iDaf1 = l.iDaf1;
      b.uT0 = l.uT0;
      publish_LongTerm(sv, b, l.lTime);
    }
  }
}

void SbasDataDecoder::process_Covariance() {
  for (int s = 0; s < kSlots; ++s) {
    EphClockCovMatrixDataType& c = cov_[s];
    if (c.bNew == 0) continue;
    for (int e = 0; e < 2 && c.bNew != 0; ++e) {
      const PrnMaskType* m = nullptr;
      if (!live(e, m) || iodp_[e].uIodp != c.uIodp) continue;
      c.bNew = 0;
      uStateFlags_ |= SBASData::SourceStateDataType::kCovariance;
      if (s >= m->uSlots || !usable(m->slot[s])) continue;
      SBASData::SatCorrectionType r;
      if (!take_Sat(m->slot[s], r)) continue;
      r.set_ReadyMtrxData(source_);
      r.mtrx = SBASData::CovMatrixBlock{};
      r.mtrx.uScaleExp = c.uScaleExp;
      std::memcpy(r.mtrx.iE, c.iE, sizeof r.mtrx.iE);
      SBASData::set_TimeTag(r.ulMtrxTime, c.lTime);
      put_Sat(m->slot[s], r);
    }
  }
}
