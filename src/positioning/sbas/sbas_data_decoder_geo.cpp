// GEO navigation (MT9), GEO almanacs (MT17), network time (MT12) and degradation parameters
// (MT10) of the SBAS L1 decoder: field layouts and scales of RTCA DO-229D A.4.4.11, A.4.4.12,
// A.4.4.16 and A.4.4.6.
#include <cmath>
#include <cstring>

#include "navigation_data/decoders/nav_decoder_family.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "positioning/sbas/sbas_decoder_fields.h"

using sbas_fields::field;
using sbas_fields::sfield;

namespace {

constexpr int kFirstGeoPrn = 120;
constexpr int kLastAlmanacPrn = 147;
constexpr int kAlmanacBits = 67;

bool geoDistance(double x, double y, double z) {
  const double r = std::sqrt(x * x + y * y + z * z);
  return std::fabs(r - SbasDataDecoder::kGeoRadius) <= SbasDataDecoder::kGeoRadiusTol;
}

// Check value of the message's data bits (FNV-1a): the store tells a repeated state from a new
// one by it. The parity field is not used, as logs and relayed streams may leave it out.
std::uint32_t checkValueOf(const std::uint8_t* msg) {
  std::uint32_t h = 2166136261u;
  for (int i = 0; i < SbasDecUtility::kMessageBytes; ++i) {
    h ^= static_cast<std::uint32_t>(msg[i] & SbasDecUtility::EMPTY_DATA_MASK[i]);
    h *= 16777619u;
  }
  return h;
}

// A time of day (s) placed in the week of `towS`, in the day nearest to it.
std::uint32_t weekSecondsOf(std::uint32_t towS, int secOfDay) {
  const std::int64_t dayStart = static_cast<std::int64_t>(towS) - towS % sbas_fields::kDayS;
  std::int64_t t = dayStart + secOfDay;
  if (t - towS > sbas_fields::kDayS / 2) t -= sbas_fields::kDayS;
  if (towS - t > sbas_fields::kDayS / 2) t += sbas_fields::kDayS;
  const std::int64_t week = static_cast<std::int64_t>(sbas_fields::kWeekS);
  return static_cast<std::uint32_t>(((t % week) + week) % week);
}

}  // namespace

void SbasDataDecoder::decode_GeoNavigation(const std::uint8_t* msg) {
  EphemerisDataType& g = geo_;
  g.uIodn = static_cast<std::uint8_t>(field(msg, 1, 8));
  g.uT0 = static_cast<std::uint16_t>(field(msg, 9, 13));
  g.uUra = static_cast<std::uint8_t>(field(msg, 22, 4));
  g.lPos[0] = sfield(msg, 26, 30);
  g.lPos[1] = sfield(msg, 56, 30);
  g.lPos[2] = sfield(msg, 86, 25);
  g.lVel[0] = sfield(msg, 111, 17);
  g.lVel[1] = sfield(msg, 128, 17);
  g.lVel[2] = sfield(msg, 145, 18);
  g.iAcc[0] = static_cast<std::int16_t>(sfield(msg, 163, 10));
  g.iAcc[1] = static_cast<std::int16_t>(sfield(msg, 173, 10));
  g.iAcc[2] = static_cast<std::int16_t>(sfield(msg, 183, 10));
  g.iAf0 = static_cast<std::int16_t>(sfield(msg, 193, 12));
  g.iAf1 = static_cast<std::int8_t>(sfield(msg, 205, 8));
  g.lTime = lTag_;
  g.bNew = 1;
  uGeoCheck_ = checkValueOf(msg);
}

void SbasDataDecoder::process_GeoNavigation() {
  EphemerisDataType& g = geo_;
  if (g.bNew == 0) return;
  g.bNew = 0;
  ZRT_EPH_SBA e{};
  e.pos[0] = g.lPos[0] * 0.08;
  e.pos[1] = g.lPos[1] * 0.08;
  e.pos[2] = g.lPos[2] * 0.4;
  if (!geoDistance(e.pos[0], e.pos[1], e.pos[2])) return;
  e.prn = static_cast<std::uint8_t>(source_.si + kFirstGeoPrn);
  e.ura = g.uUra;
  e.t0 = static_cast<std::uint32_t>(g.uT0) * 16u;
  e.vel[0] = static_cast<float>(g.lVel[0] * 0.000625);
  e.vel[1] = static_cast<float>(g.lVel[1] * 0.000625);
  e.vel[2] = static_cast<float>(g.lVel[2] * 0.004);
  e.acc[0] = static_cast<float>(g.iAcc[0] * 0.0000125);
  e.acc[1] = static_cast<float>(g.iAcc[1] * 0.0000125);
  e.acc[2] = static_cast<float>(g.iAcc[2] * 0.0000625);
  e.aGf0 = static_cast<float>(std::ldexp(g.iAf0, -31));
  e.aGf1 = static_cast<float>(std::ldexp(g.iAf1, -40));
  e.tow = time_.gps.ulMs / 1000u;
  e.week = time_.gps.uWeek;
  const SvIdType geoSv{source_.si, kSysSbas, 0, source_.si};
  if (satData_ != nullptr) satData_->update_EphemerisData(geoSv, 0, &e, uGeoCheck_, true, false, false);
  // The GEO's own long-term record follows its navigation message: its issue is the IODN and its
  // t0 the message's, from which the GEO's long-term degradation runs.
  if (!geoSv.isValidSat()) return;
  SBASData::SatCorrectionType r;
  if (!take_Sat(geoSv, r)) return;
  if (r.get_SourceIndex() == SBASData::sourceIndexOf(source_) && r.is_ReadyLongCorr(lTag_) &&
      r.longCorr[0].uIod == g.uIodn) {
    SBASData::set_TimeTag(r.ulLongTime, g.lTime);
    if (r.longCorr[0].uVelocityCode == 0) r.longCorr[0].uT0 = g.uT0;
    put_Sat(geoSv, r);
    return;
  }
  SBASData::LongCorrBlock b{};
  b.uIod = g.uIodn;
  b.uT0 = g.uT0;
  publish_LongTerm(geoSv, b, g.lTime);
}

void SbasDataDecoder::decode_Almanac(const std::uint8_t* msg) {
  const std::uint16_t t0 = static_cast<std::uint16_t>(field(msg, 202, 11));
  for (int k = 0; k < kAlmanacEntries; ++k) {
    const int q = kAlmanacBits * k + 1;
    AlmanacDataType& a = alm_[k];
    a.uDataId = static_cast<std::uint8_t>(field(msg, q, 2));
    a.uPrn = static_cast<std::uint8_t>(field(msg, q + 2, 8));
    a.uHealth = static_cast<std::uint8_t>(field(msg, q + 10, 8));
    a.iPos[0] = static_cast<std::int16_t>(sfield(msg, q + 18, 15));
    a.iPos[1] = static_cast<std::int16_t>(sfield(msg, q + 33, 15));
    a.iPos[2] = static_cast<std::int16_t>(sfield(msg, q + 48, 9));
    a.iVel[0] = static_cast<std::int8_t>(sfield(msg, q + 57, 3));
    a.iVel[1] = static_cast<std::int8_t>(sfield(msg, q + 60, 3));
    a.iVel[2] = static_cast<std::int8_t>(sfield(msg, q + 63, 4));
    a.uT0 = t0;
    a.lTime = lTag_;
    a.bNew = 1;
  }
}

void SbasDataDecoder::process_Almanac() {
  for (AlmanacDataType& a : alm_) {
    if (a.bNew == 0) continue;
    a.bNew = 0;
    if (a.uPrn < kFirstGeoPrn || a.uPrn > kLastAlmanacPrn) continue;
    ZRT_ALM_SBA r{};
    r.pos[0] = a.iPos[0] * 2600.0;
    r.pos[1] = a.iPos[1] * 2600.0;
    r.pos[2] = a.iPos[2] * 26000.0;
    if (!geoDistance(r.pos[0], r.pos[1], r.pos[2])) continue;
    r.prn = a.uPrn;
    r.health = a.uHealth;
    r.vel[0] = static_cast<float>(a.iVel[0] * 10.0);
    r.vel[1] = static_cast<float>(a.iVel[1] * 10.0);
    r.vel[2] = static_cast<float>(a.iVel[2] * 60.0);
    const std::uint32_t tow = static_cast<std::uint32_t>(a.lTime) / 1000u;
    r.toa = weekSecondsOf(tow, a.uT0 * 64);
    r.week = time_.gps.uWeek;
    const std::uint8_t n = static_cast<std::uint8_t>(a.uPrn - kFirstGeoPrn);
    if (satData_ != nullptr) satData_->update_AlmanacData(SvIdType{n, kSysSbas, 0, n}, 0, &r, false);
  }
}

void SbasDataDecoder::decode_NetworkTime(const std::uint8_t* msg) {
  NetworkTimeDataType& n = net_;
  n.lA1 = sfield(msg, 1, 24);
  n.lA0 = sfield(msg, 25, 32);
  n.uTot = static_cast<std::uint8_t>(field(msg, 57, 8));
  n.uWnt = static_cast<std::uint8_t>(field(msg, 65, 8));
  n.iDtLs = static_cast<std::int8_t>(sfield(msg, 73, 8));
  n.uWnLsf = static_cast<std::uint8_t>(field(msg, 81, 8));
  n.uDn = static_cast<std::uint8_t>(field(msg, 89, 8));
  n.iDtLsf = static_cast<std::int8_t>(sfield(msg, 97, 8));
  n.uUtcStandard = static_cast<std::uint8_t>(field(msg, 105, 3));
  n.ulGpsTow = static_cast<std::uint32_t>(field(msg, 108, 20));
  n.uGpsWeek = static_cast<std::uint16_t>(field(msg, 128, 10));
  n.lTime = lTag_;
  n.bNew = 1;
}

// Only a receiver that knows its full week can tell which week the 8-bit weeks mean.
void SbasDataDecoder::process_NetworkTime() {
  NetworkTimeDataType& n = net_;
  if (n.bNew == 0) return;
  n.bNew = 0;
  if (time_.gps.uStatus[1] == 0) return;
  SbasUtcRecordType u{};
  u.tot = static_cast<std::uint32_t>(n.uTot) * 4096u;
  u.A1 = static_cast<float>(std::ldexp(n.lA1, -50));
  u.A0 = std::ldexp(n.lA0, -30);
  u.WNt = static_cast<std::uint16_t>(getFullWeekNum(time_.gps.uWeek, n.uWnt));
  u.WN_LSF = static_cast<std::uint16_t>(getFullWeekNum(time_.gps.uWeek, n.uWnLsf));
  u.DN = n.uDn;
  u.dtLS = n.iDtLs;
  u.dtLSF = n.iDtLsf;
  u.uUtcStandard = n.uUtcStandard;
  u.ulGpsTow = n.ulGpsTow;
  u.uGpsWeek = n.uGpsWeek;
  ZRT_UTC_SBA rec{};
  static_assert(sizeof rec == sizeof u);
  std::memcpy(&rec, &u, sizeof rec);
  if (satData_ != nullptr) satData_->update_UtcData(kSysSbas, 0, &rec);
}

void SbasDataDecoder::decode_DegradParam(const std::uint8_t* msg) {
  static constexpr int kWidth[DegradParamDataType::kFields] = {10, 10, 10, 9, 10, 9, 10, 10, 9, 6, 10, 9, 10, 1, 1, 7};
  int pos = 1;
  for (int i = 0; i < DegradParamDataType::kFields; ++i) {
    mt10_.uField[i] = static_cast<std::uint16_t>(field(msg, pos, kWidth[i]));
    pos += kWidth[i];
  }
  mt10_.lTime = lTag_;
  mt10_.bNew = 1;
}

void SbasDataDecoder::process_DegradParam() {
  if (mt10_.bNew == 0) return;
  mt10_.bNew = 0;
  if (store_ == nullptr || iInstance_ >= kPoolSize) return;
  using F = DegradParamDataType;
  const std::uint16_t* v = mt10_.uField;
  SBASData::DegradationDataType d;
  d.init();
  d.set_ReadyDegradData(source_);
  SBASData::set_TimeTag(d.ulTime, mt10_.lTime);
  d.fBrrc = static_cast<float>(v[F::kBrrc] * 0.002);
  d.fCltcLsb = static_cast<float>(v[F::kCltcLsb] * 0.002);
  d.fCltcV1 = static_cast<float>(v[F::kCltcV1] * 0.00005);
  d.fIltcV1 = static_cast<float>(v[F::kIltcV1]);
  d.fCltcV0 = static_cast<float>(v[F::kCltcV0] * 0.002);
  d.fIltcV0 = static_cast<float>(v[F::kIltcV0]);
  d.fCgeoLsb = static_cast<float>(v[F::kCgeoLsb] * 0.0005);
  d.fCgeoV = static_cast<float>(v[F::kCgeoV] * 0.00005);
  d.fIgeo = static_cast<float>(v[F::kIgeo]);
  d.fCer = static_cast<float>(v[F::kCer] * 0.5);
  d.fCionoStep = static_cast<float>(v[F::kCionoStep] * 0.001);
  d.fIiono = static_cast<float>(v[F::kIiono]);
  d.fCionoRamp = static_cast<float>(v[F::kCionoRamp] * 0.000005);
  d.uRssUdre = static_cast<std::uint8_t>(v[F::kRssUdre]);
  d.uRssIono = static_cast<std::uint8_t>(v[F::kRssIono]);
  d.fCcovariance = static_cast<float>(v[F::kCcovariance] * 0.1);
  // An interval of 0 s would divide by zero: the rate is then the C parameter itself.
  d.fCltcV1Ratio = v[F::kIltcV1] == 0 ? d.fCltcV1 : d.fCltcV1 / d.fIltcV1;
  d.fCgeoVRatio = v[F::kIgeo] == 0 ? d.fCgeoV : d.fCgeoV / d.fIgeo;
  store_->sbasDegradation[iInstance_].Put(&d);
}
