#include "navigation_data/decoders/beidou_cnav_common.h"

#include <cmath>
#include <cstring>

#include "navigation_data/bit_extract.h"
#include "navigation_data/crc_engine.h"

namespace CompCNavDataDecoderType {

namespace {

std::uint64_t u(const std::uint32_t* w, int bit, int n) {
  return static_cast<std::uint64_t>(CompDecUtility::extract_DataField(w, bit, n, false));
}
std::int64_t s(const std::uint32_t* w, int bit, int n) { return CompDecUtility::extract_DataField(w, bit, n, true); }

// BDGIM coefficients are broadcast in units of 1/8 TECu (BDS-SIS-ICD-B1C 7.13.1).
constexpr double kTecuPerCount = 0.125;
constexpr int kAlmanacToaUnit = 4096;  // s

}  // namespace

void CNavEphemerisRawDataType::decodeEphemeris1(const std::uint32_t* w, int b) {
  toe = static_cast<std::uint16_t>(u(w, b, 11));
  satType = static_cast<std::uint8_t>(u(w, b + 11, 2));
  dA = static_cast<std::int32_t>(s(w, b + 13, 26));
  aDot = static_cast<std::int32_t>(s(w, b + 39, 25));
  dn0 = static_cast<std::int32_t>(s(w, b + 64, 17));
  dn0Dot = static_cast<std::int32_t>(s(w, b + 81, 23));
  m0 = s(w, b + 104, 33);
  e = u(w, b + 137, 33);
  omega = s(w, b + 170, 33);
}

void CNavEphemerisRawDataType::decodeEphemeris2(const std::uint32_t* w, int b) {
  omega0 = s(w, b, 33);
  i0 = s(w, b + 33, 33);
  omegaDot = static_cast<std::int32_t>(s(w, b + 66, 19));
  idot = static_cast<std::int16_t>(s(w, b + 85, 15));
  cis = static_cast<std::int16_t>(s(w, b + 100, 16));
  cic = static_cast<std::int16_t>(s(w, b + 116, 16));
  crs = static_cast<std::int32_t>(s(w, b + 132, 24));
  crc = static_cast<std::int32_t>(s(w, b + 156, 24));
  cus = static_cast<std::int32_t>(s(w, b + 180, 21));
  cuc = static_cast<std::int32_t>(s(w, b + 201, 21));
}

void CNavEphemerisRawDataType::decodeClock(const std::uint32_t* w, int b) {
  toc = static_cast<std::uint16_t>(u(w, b, 11));
  a0 = static_cast<std::int32_t>(s(w, b + 11, 25));
  a1 = static_cast<std::int32_t>(s(w, b + 36, 22));
  a2 = static_cast<std::int16_t>(s(w, b + 58, 11));
}

void CNavEphemerisRawDataType::process(int wn, ZRT_EPH_CMP& r) const {
  std::memset(&r, 0, sizeof r);
  r.week = static_cast<std::uint16_t>(wn);
  r.flags = static_cast<std::uint16_t>(kBeidouEphFlagCnav | (satType & 3) << 2);
  r.toc = static_cast<std::int32_t>(toc) * 300;
  r.af0 = scaled(a0, 34);
  r.af1 = static_cast<float>(scaled(a1, 50));
  r.af2 = static_cast<float>(scaled(a2, 66));
  r.toe = static_cast<std::uint32_t>(toe) * 300;
  const double A = (satType == kSatTypeMeo ? kArefMeo : kArefHigh) + scaled(static_cast<double>(dA), 9);
  r.sqrtA = std::sqrt(A);
  r.e = scaled(static_cast<double>(e), 34);
  r.M0 = scaled(static_cast<double>(m0), 32);
  r.Omega0 = scaled(static_cast<double>(omega0), 32);
  r.i0 = scaled(static_cast<double>(i0), 32);
  r.omega = scaled(static_cast<double>(omega), 32);
  r.deltaN = static_cast<float>(scaled(dn0, 44));
  r.OmegaDot = static_cast<float>(scaled(omegaDot, 44));
  r.idot = static_cast<float>(scaled(idot, 44));
  r.crc = static_cast<float>(scaled(crc, 8));
  r.crs = static_cast<float>(scaled(crs, 8));
  r.cuc = static_cast<float>(scaled(cuc, 30));
  r.cus = static_cast<float>(scaled(cus, 30));
  r.cic = static_cast<float>(scaled(cic, 30));
  r.cis = static_cast<float>(scaled(cis, 30));
  r.Adot = scaled(aDot, 21);
  r.deltaNdot = static_cast<float>(scaled(dn0Dot, 57));
}

std::uint32_t CNavEphemerisRawDataType::identity() const { return GbasCRC32.ComputeCRC(this, 0, kIdentityBits); }

void CNavAlmanacRawDataType::decode(const std::uint32_t* w, int b) {
  prn = static_cast<std::uint8_t>(u(w, b, 6));
  satType = static_cast<std::uint8_t>(u(w, b + 6, 2));
  wna = static_cast<std::uint16_t>(u(w, b + 8, 13));
  toa = static_cast<std::uint8_t>(u(w, b + 21, 8));
  e = static_cast<std::uint16_t>(u(w, b + 29, 11));
  di = static_cast<std::int16_t>(s(w, b + 40, 11));
  sqrtA = static_cast<std::uint32_t>(u(w, b + 51, 17));
  omega0 = static_cast<std::int16_t>(s(w, b + 68, 16));
  omegaDot = static_cast<std::int16_t>(s(w, b + 84, 11));
  omega = static_cast<std::int16_t>(s(w, b + 95, 16));
  m0 = static_cast<std::int16_t>(s(w, b + 111, 16));
  af0 = static_cast<std::int16_t>(s(w, b + 127, 11));
  af1 = static_cast<std::int16_t>(s(w, b + 138, 10));
  health = static_cast<std::uint8_t>(u(w, b + 148, 8));
  present = true;
}

bool CNavAlmanacRawDataType::process(std::uint8_t signal, ZRT_ALM_CMP& r) const {
  if (prn < 1 || prn > SYS_SAT_NUM[kSysBeidou]) return false;
  std::memset(&r, 0, sizeof r);
  r.prn = prn;
  r.toa = toa * kAlmanacToaUnit;
  r.week = static_cast<std::int16_t>(wna);
  r.health = health;
  r.health2 = health;
  r.satType = satType;
  r.sqrtA = static_cast<float>(scaled(sqrtA, 4));
  r.e = static_cast<float>(scaled(e, 16));
  r.M0 = static_cast<float>(scaled(m0, 15));
  r.Omega0 = static_cast<float>(scaled(omega0, 15));
  r.omega = static_cast<float>(scaled(omega, 15));
  r.deltaI = static_cast<float>(scaled(di, 14));
  r.OmegaDot = static_cast<float>(scaled(omegaDot, 33));
  r.af0 = static_cast<float>(scaled(af0, 20));
  r.af1 = static_cast<float>(scaled(af1, 37));
  r.flags = 0;
  r.signal = signal;
  return true;
}

void CNavIonoModelRawDataType::decode(const std::uint32_t* w, int b) {
  alpha1 = static_cast<std::uint16_t>(u(w, b, 10));
  for (int k = 0; k < 8; ++k) alpha[k] = static_cast<std::uint8_t>(u(w, b + 10 + 8 * k, 8));
  present = true;
}

bool CNavIonoModelRawDataType::process(std::uint8_t signal, std::uint8_t satIdx, ZRT_ION_CMP& r) const {
  if (!present || (alpha1 == 0 && alpha[0] == 0 && alpha[1] == 0 && alpha[2] == 0)) return false;
  std::memset(&r, 0, sizeof r);
  auto sgn = [](std::uint8_t v) { return static_cast<double>(static_cast<std::int8_t>(v)); };
  r.alpha[0] = static_cast<float>(alpha1 * kTecuPerCount);
  r.alpha[1] = static_cast<float>(sgn(alpha[0]) * kTecuPerCount);
  r.alpha[2] = static_cast<float>(alpha[1] * kTecuPerCount);
  r.alpha[3] = static_cast<float>(alpha[2] * kTecuPerCount);
  // alpha5 is broadcast as a magnitude whose sign the model fixes as negative.
  r.alpha[4] = static_cast<float>(-alpha[3] * kTecuPerCount);
  for (int k = 5; k < 9; ++k) r.alpha[k] = static_cast<float>(sgn(alpha[k - 1]) * kTecuPerCount);
  r.signal = signal;
  r.valid = 1;
  r.satIdx = satIdx;
  return true;
}

bool takesNonEphemerisData(SvIdType sv, bool healthy) {
  if (sv.sat >= 64) return true;
  const std::uint64_t mask = navDecoderLinks.healthCheckSats(kSysBeidou);
  return ((mask >> sv.sat) & 1u) == 0 || healthy;
}

void putAlmanac(SatelliteDataProcessor* store, CNavAlmanacRawDataType& alm, std::uint8_t signal) {
  if (!alm.present) return;
  ZRT_ALM_CMP rec;
  if (alm.process(signal, rec) && store != nullptr) {
    const auto idx = static_cast<std::uint8_t>(rec.prn - 1);
    store->update_AlmanacData(SvIdType{idx, kSysBeidou, 0, idx}, kStoreDataType, &rec, false);
  }
  alm = CNavAlmanacRawDataType{};
}

void putIonosphere(CNavIonoModelRawDataType& ion, std::uint8_t signal, std::uint8_t satIdx) {
  ZRT_ION_CMP rec;
  if (ion.process(signal, satIdx, rec)) navDecoderLinks.bdGlobalIono(&rec);
  ion = CNavIonoModelRawDataType{};
}

}  // namespace CompCNavDataDecoderType
